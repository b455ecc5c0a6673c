"""Connector setup and the account: InitializeEx, Login, Logout,
InitiateShutdown, CreateAccount and Mute, end to end through the handlers."""
import os
import time
import unittest

import voicesdk

from support import E_FAIL, E_INVALIDARG, ConnectorTest, fields, needs_platform_faults, settle_request_threads

DOMAIN = ".voiceservice.example"


def expected_port_range():
    # The same generator the module seeds with the process id.  Every C
    # runtime on Windows has the same rand(), so the UCRT reproduces the sequence.
    import ctypes
    import sys
    libc = ctypes.cdll.ucrtbase if sys.platform == "win32" else ctypes.CDLL(None)
    libc.srand(os.getpid())
    low = (libc.rand() % 1000 + 200) * 50
    return low, low + 50


class InitializeTest(ConnectorTest):
    def wait_for_request(self):
        # The connector-create request is issued from a thread of its own.
        for _ in range(500):
            found = self.requests("connector_create")
            if found:
                return found[-1]
            time.sleep(0.005)
        self.fail("no connector_create request")

    def test_defaults(self):
        self.assertIsNone(self.connector.InitializeEx())
        request = self.wait_for_request()
        values = fields(request)
        low, high = expected_port_range()
        self.assertEqual(request["cookie"], "1")
        self.assertFalse(request["sync"])
        self.assertEqual(values["application_name"], "Orb")
        self.assertEqual(values["account_server_url"], "https://www.orb" + DOMAIN + "/api2")
        self.assertEqual((values["minimum_port"], values["maximum_port"]), (low, high))
        self.assertEqual(values["minimum_port"] % 50, 0)
        self.assertEqual(values["connector_option"], 0)
        self.assertEqual((values["log_folder"], values["log_file_prefix"], values["log_file_suffix"],
                          values["log_level"]), (".", "voice", ".log", 1))

    def test_arguments_and_repeat(self):
        self.connector.InitializeEx("game", 0, "/tmp/logs", "talk", ".txt", 4)
        first = fields(self.wait_for_request())
        self.assertEqual(first["account_server_url"], "http://www.game" + DOMAIN + "/api2")
        self.assertEqual((first["log_folder"], first["log_file_prefix"], first["log_file_suffix"],
                          first["log_level"]), ("/tmp/logs", "talk", ".txt", 4))
        voicesdk.clear_requests()
        self.connector.InitializeEx("")
        second = fields(self.wait_for_request())
        self.assertEqual(second["account_server_url"], "https://www." + DOMAIN + "/api2")
        self.assertEqual(second["minimum_port"], first["minimum_port"])

    def test_bad_arguments_issue_nothing(self):
        with self.assertRaises(TypeError):
            self.connector.InitializeEx(1)
        with self.assertRaises(TypeError):
            self.connector.InitializeEx("a", "b")
        self.assertEqual(voicesdk.requests(), [])

    @needs_platform_faults
    def test_thread_failure(self):
        voicesdk.fault("create_thread", error=8)
        self.assertWindowsError(8, "Error Creating Thread", self.connector.InitializeEx)
        voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {}, connector_handle="c1")
        self.pump()
        self.assertEqual(voicesdk.requests(), [])
        self.assertEqual(voicesdk.live()["requests"], 0)

    def test_initialized_callback(self):
        voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {}, return_code=1, status_code=77)
        voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {}, connector_handle="c1")
        self.pump()
        self.assertEqual(self.listener.of("OnInitialized"), [(77,), (0,)])
        # The handle is set: Login is allowed now.
        self.connector.Login("alice", "pw")


class LifecycleTest(ConnectorTest):
    def initialize(self):
        self.connector.InitializeEx("orb")
        # Its request leaves from a thread of its own: once it has, a
        # refusal set up next is not taken by it.
        settle_request_threads()
        voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {}, connector_handle="connector-1")
        self.pump()
        self.listener.clear()

    def test_account_end_to_end(self):
        self.initialize()
        self.connector.Login("alice", "secret")
        login = self.last_request("account_login")
        self.assertEqual(login["fields"], [("connector_handle", "connector-1"), ("account_name", "alice"),
                                           ("password", "secret"), ("login_option", 2),
                                           ("login_trailing_option", 0)])
        voicesdk.respond(login["cookie"], account_handle="account-1")
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATUS, login_state=2)
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=1)
        self.pump()
        self.assertEqual(self.listener.of("OnLoggedIn"), [(1,), (2,)])

        self.connector.Logout()
        logout = self.last_request("account_logout")
        self.assertEqual(fields(logout), {"account_handle": "account-1"})
        voicesdk.respond(logout["cookie"])
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=0)
        self.pump()
        self.assertEqual(self.listener.of("OnLoggedIn")[-1], (0,))
        # Logged out: Logout has nothing to do any more.
        voicesdk.clear_requests()
        self.connector.Logout()
        self.assertEqual(voicesdk.requests(), [])

        self.connector.InitiateShutdown()
        shutdown = self.last_request("connector_initiate_shutdown")
        self.assertEqual(shutdown["fields"], [("connector_handle", "connector-1"), ("application_name", "Orb")])
        voicesdk.respond(shutdown["cookie"])
        self.pump()
        self.assertEqual(self.listener.names()[-1], "OnShutDown")
        self.assertEqual(self.listener.of("OnShutDown"), [()])
        self.assertWindowsError(E_FAIL, "Attempt to login before connector handle is set",
                                self.connector.Login, "alice", "secret")
        # A second shutdown, and a late answer to it, do nothing.
        voicesdk.clear_requests()
        self.connector.InitiateShutdown()
        self.assertEqual(voicesdk.requests(), [])
        voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_INITIATE_SHUTDOWN, "connector_initiate_shutdown", {})
        self.pump()
        self.assertEqual(len(self.listener.of("OnShutDown")), 1)

    def test_login_failures(self):
        self.initialize()
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, return_code=1, status_code=20200,
                            status_text="x")
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, return_code=1, status_code=10,
                            status_text=None)
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=100, status_code=20200)
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATUS, login_state=100, status_code=5, status_text="bad password")
        self.pump()
        self.assertEqual(self.listener.calls, [("OnAccountNotFound",), ("FailedOnLogin", 10, ""),
                                               ("OnAccountNotFound",), ("FailedOnLogin", 5, "bad password")])

    def test_login_state_mapping(self):
        for state in (1, 2, 3, 4, 7, 0, -3):
            voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=state)
        self.pump()
        self.assertEqual(self.listener.of("OnLoggedIn"), [(2,), (1,), (3,), (1,), (0,), (0,), (0,)])

    def test_login_checks_and_refusal(self):
        self.assertWindowsError(E_FAIL, "Attempt to login before connector handle is set",
                                self.connector.Login, "alice", "pw")
        self.initialize()
        with self.assertRaises(TypeError) as caught:
            self.connector.Login("alice")
        self.assertIn("Login", str(caught.exception))
        voicesdk.refuse(42)
        self.assertWindowsError(42, "Couldn't do Login", self.connector.Login, "alice", "pw")
        self.assertEqual(len(self.requests("account_login")), 1)

    def test_refusals_of_logout_and_shutdown(self):
        self.initialize()
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, account_handle="a1")
        self.pump()
        voicesdk.refuse(3)
        self.assertWindowsError(3, "Couldn't do Logout", self.connector.Logout)
        voicesdk.refuse(4)
        self.assertWindowsError(4, "Couldn't do InitiateShutdown", self.connector.InitiateShutdown)

    def test_create_account(self):
        self.connector.CreateAccount("user", "pass", "token", "Display")
        request = self.last_request("aux_create_account")
        self.assertEqual(request["fields"], [
            ("connector_handle", None), ("access_token", "token"), ("account_server_url", ""),
            ("user_name", "user"), ("password", "pass"), ("email", ""), ("birth_year", 0),
            ("display_name", "Display"), ("language", "")])
        self.initialize()
        self.connector.CreateAccount("u", "p", "t", "d")
        self.assertEqual(fields(self.last_request("aux_create_account"))["account_server_url"],
                         "https://www.orb" + DOMAIN + "/api2")
        with self.assertRaises(TypeError):
            self.connector.CreateAccount("u", "p", "t")
        voicesdk.refuse(9)
        self.assertWindowsError(9, "Error creating account", self.connector.CreateAccount, "u", "p", "t", "d")
        voicesdk.respond_to(voicesdk.RESPONSE_AUX_CREATE_ACCOUNT, "aux_create_account", {})
        voicesdk.respond_to(voicesdk.RESPONSE_AUX_CREATE_ACCOUNT, "aux_create_account", {}, return_code=1,
                            status_code=3, status_text="taken")
        self.pump()
        self.assertEqual(self.listener.calls[-2:], [("OnAccountCreated",), ("OnCreateAccountFailed", 3, "taken")])

    def test_mute(self):
        self.assertWindowsError(E_INVALIDARG, "Invalid isMute value", self.connector.Mute, 2)
        self.assertWindowsError(E_INVALIDARG, "Invalid isMute value", self.connector.Mute, -1)
        self.assertWindowsError(E_FAIL, "Connector handle is empty.", self.connector.Mute, 1)
        with self.assertRaises(TypeError):
            self.connector.Mute()
        self.initialize()
        self.connector.Mute(1)
        self.assertEqual(self.last_request("connector_mute_local_mic")["fields"],
                         [("connector_handle", "connector-1"), ("mute", 1)])
        voicesdk.refuse(6)
        self.assertWindowsError(6, "Couldn't mute microphone.", self.connector.Mute, 0)


if __name__ == "__main__":
    unittest.main()
