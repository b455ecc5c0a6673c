"""The local voice server's accounts and faults as client processes see
them: refused logins, a server that is not there, one that dies and comes
back."""
import os
import threading
import time
import unittest

import _talkwire
import voicesdk
from server_support import ALREADY_LOGGED_IN, SERVER_UNREACHABLE, WRONG_PASSWORD, ServerTest, uri
from support import RecordingListener, assert_nothing_left


class AccountTest(ServerTest):
    def test_a_second_login_of_an_account_is_refused_until_the_first_ends(self):
        self.player("ann")
        again = self.player("ann", log_in=False)
        again.call("InitializeEx", "orb")
        again.expect("OnInitialized", 0)
        again.call("Login", "ann", "secret")
        failure = again.expect("FailedOnLogin", ALREADY_LOGGED_IN)
        self.assertEqual(failure["args"][1], "Account already logged in")
        self.assertEqual(again.callbacks("OnLoggedIn"), [])

        # The first session dies: once the server has seen it go, the name
        # is free.
        self.players[0].kill()
        self.server.log.wait(lambda line: "gone" in line["name"], 15.0, what="the server to drop ann")
        again.call("Login", "ann", "secret")
        again.expect("OnLoggedIn", 2)

    def test_created_accounts_keep_their_password_across_clients(self):
        dan = self.player("dan", log_in=False)
        dan.call("InitializeEx", "orb")
        dan.expect("OnInitialized", 0)
        dan.call("CreateAccount", "eve", "right", "token", "Eve")
        dan.expect("OnAccountCreated")
        eve = self.player("eve", log_in=False)
        eve.call("InitializeEx", "orb")
        eve.expect("OnInitialized", 0)
        eve.call("Login", "eve", "wrong")
        self.assertEqual(eve.expect("FailedOnLogin")["args"], [WRONG_PASSWORD, "Wrong password"])
        eve.call("Login", "eve", "right")
        eve.expect("OnLoggedIn", 2)


class ClosedServerTest(ServerTest):
    OPTIONS = ServerTest.OPTIONS + ("--closed", "--account", "ann:secret")

    def test_a_closed_server_knows_only_its_accounts(self):
        ann = self.player("ann")
        ann.expect("OnLoggedIn", 2)
        bob = self.player("bob", log_in=False)
        bob.call("InitializeEx", "orb")
        bob.expect("OnInitialized", 0)
        bob.call("Login", "bob", "secret")
        bob.expect("OnAccountNotFound")


class UnreachableTest(ServerTest):
    def test_no_server_at_the_address_fails_connector_creation_visibly(self):
        port = self.server.port
        self.assertEqual(self.server.stop(), 0)
        player = self.player("ann", address="127.0.0.1:%d" % port, log_in=False)
        player.call("InitializeEx", "orb")
        player.expect("OnInitialized", SERVER_UNREACHABLE)
        self.server.start(port)  # for tearDown

    def test_an_address_that_is_not_host_and_port_fails_the_same_way(self):
        player = self.player("ann", address="nowhere", log_in=False)
        player.call("InitializeEx", "orb")
        player.expect("OnInitialized", SERVER_UNREACHABLE)


class RestartTest(ServerTest):
    def test_clients_see_the_server_die_and_play_again_once_it_is_back(self):
        ann, bob = self.in_lobby("ann", "bob")
        marks = [p.mark() for p in (ann, bob)]
        self.server.kill()
        for player, mark in zip((ann, bob), marks):
            player.expect("OnLeftChannel", "lobby", since=mark)
            player.expect("OnLoggedIn", 0, since=mark)

        # While it is down, a login fails as unreachable; the connector stays.
        mark = ann.mark()
        ann.call("Login", "ann", "secret")
        self.assertEqual(ann.expect("FailedOnLogin", since=mark)["args"][0], SERVER_UNREACHABLE)

        self.server.start(self.server.port)
        marks = [p.mark() for p in (ann, bob)]
        for player, mark in zip((ann, bob), marks):
            player.call("Login", player.name, "secret")
            player.expect("OnLoggedIn", 2, since=mark)
            player.call("JoinChannelEx", "lobby")
            player.expect("OnJoinedChannel", "lobby", since=mark)
        ann.expect("OnParticipantJoined", uri("bob"), "lobby", since=marks[0])
        bob.expect("OnParticipantJoined", uri("ann"), "lobby", since=marks[1])
        bob.call("Talk", 0)
        ann.expect("OnParticipantStateChanged", uri("bob"), "lobby", 1, 0, since=marks[0])


class ChosenServerTest(ServerTest):
    """A connector in this very process, its server chosen through
    voicesdk rather than the environment."""

    def setUp(self):
        ServerTest.setUp(self)
        voicesdk.reset()
        self.listener = RecordingListener()
        self.connector = _talkwire.Connector(self.listener)

    def tearDown(self):
        self.connector = None
        try:
            assert_nothing_left(self)  # resets the stand-in: its links close
        finally:
            ServerTest.tearDown(self)

    def pump_until(self, condition, timeout=15.0):
        deadline = time.time() + timeout
        while not condition():
            self.assertLess(time.time(), deadline, "timed out waiting")
            timer = threading.Timer(0.02, voicesdk.post_quit, [voicesdk.thread_id()])
            timer.start()
            try:
                self.connector.Run()
            finally:
                timer.join()

    def test_the_chosen_server_serves_and_a_reset_lets_it_go(self):
        voicesdk.use_server(self.server.address)
        self.connector.InitializeEx("orb")
        self.pump_until(lambda: self.listener.of("OnInitialized"))
        self.assertEqual(self.listener.of("OnInitialized"), [(0,)])
        self.connector.Login("zed", "secret")
        self.pump_until(lambda: (2,) in self.listener.of("OnLoggedIn"))
        self.connector.JoinChannelEx("lobby")
        self.pump_until(lambda: self.listener.of("OnJoinedChannel"))
        ann = self.player("ann")
        ann.call("JoinChannelEx", "lobby")
        ann.expect("OnParticipantJoined", uri("zed"), "lobby")
        self.pump_until(lambda: (uri("ann"), "lobby") in self.listener.of("OnParticipantJoined"))
        # The machine's own requests never leave the process.
        self.assertEqual(len(self.connector.GetAudioInputDevices()), 3)
        mark = ann.mark()
        voicesdk.reset()
        ann.expect("OnParticipantLeft", uri("zed"), "lobby", since=mark)

    def test_an_empty_choice_names_no_server_whatever_the_environment_says(self):
        saved = os.environ.get("VOICESDK_SERVER")
        os.environ["VOICESDK_SERVER"] = self.server.address
        try:
            voicesdk.use_server("")
            self.connector.InitializeEx("orb")
            self.pump_until(lambda: voicesdk.requests())
            self.assertTrue(voicesdk.flush(5.0))
            voicesdk.post_quit()
            self.connector.Run()
            # Scripted, as without a server: nothing answered.
            self.assertEqual(self.listener.calls, [])
        finally:
            if saved is None:
                del os.environ["VOICESDK_SERVER"]
            else:
                os.environ["VOICESDK_SERVER"] = saved


if __name__ == "__main__":
    unittest.main()
