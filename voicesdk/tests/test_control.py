# -*- coding: utf-8 -*-
"""The voicesdk control module, driven from the SDK's C side through ctypes
the way the product would drive it.  Python 2.7 and 3.x, stdlib only."""
from __future__ import print_function

import ctypes
import os
import sys
import threading
import unittest

import voicesdk

PY3 = sys.version_info[0] >= 3


def _library():
    here = os.path.dirname(os.path.abspath(voicesdk.__file__))
    if sys.platform == "win32":
        return ctypes.CDLL(os.path.join(here, "voicesdk.dll"))  # the build copies it there
    # A build tree keeps the library in lib/; an installation in talkwire.libs/.
    for candidate in (os.path.join(here, "..", "..", "lib", "libvoicesdk.so"),
                      os.path.join(here, "talkwire.libs", "libvoicesdk.so")):
        if os.path.exists(candidate):
            return ctypes.CDLL(os.path.realpath(candidate))
    return ctypes.CDLL("libvoicesdk.so")


sdk = _library()


class ReqBase(ctypes.Structure):
    _fields_ = [("kind", ctypes.c_int), ("cookie", ctypes.c_void_p),
                ("user_pointer", ctypes.c_void_p)]


class Login(ctypes.Structure):
    _fields_ = [("base", ReqBase), ("connector_handle", ctypes.c_void_p),
                ("account_name", ctypes.c_void_p), ("password", ctypes.c_void_p),
                ("login_option", ctypes.c_int), ("login_trailing_option", ctypes.c_int)]


class Position(ctypes.Structure):
    _fields_ = [("base", ReqBase), ("session_handle", ctypes.c_void_p),
                ("speaker_vectors", ctypes.c_double * 15),
                ("listener_vectors", ctypes.c_double * 15)]


class RespBase(ctypes.Structure):
    _fields_ = [("message_type", ctypes.c_int), ("response_type", ctypes.c_int),
                ("return_code", ctypes.c_int), ("status_code", ctypes.c_int),
                ("status_text", ctypes.c_char_p), ("request", ctypes.POINTER(ReqBase))]


class LoginResp(ctypes.Structure):
    _fields_ = [("base", RespBase), ("account_handle", ctypes.c_char_p),
                ("display_name", ctypes.c_char_p)]


class Device(ctypes.Structure):
    _fields_ = [("device_id", ctypes.c_char_p), ("name", ctypes.c_char_p)]


class DevicesResp(ctypes.Structure):
    _fields_ = [("base", RespBase), ("count", ctypes.c_int),
                ("devices", ctypes.POINTER(ctypes.POINTER(Device))),
                ("current_device", ctypes.POINTER(Device))]


class TestResult(ctypes.Structure):
    _fields_ = [("test_type", ctypes.c_int), ("test_result", ctypes.c_int),
                ("test_info", ctypes.c_char_p)]


class ConnectivityResp(ctypes.Structure):
    _fields_ = [("base", RespBase), ("test_count", ctypes.c_int),
                ("test_results", ctypes.POINTER(ctypes.POINTER(TestResult)))]


class EvtParticipant(ctypes.Structure):
    _fields_ = [("message_type", ctypes.c_int), ("event_type", ctypes.c_int),
                ("session_handle", ctypes.c_char_p), ("participant_uri", ctypes.c_char_p),
                ("flag_b", ctypes.c_int), ("flag_a", ctypes.c_int), ("level", ctypes.c_double)]


for name in ("sdk_req_account_login_create", "sdk_req_account_logout_create",
             "sdk_req_session_set_3d_position_create", "sdk_req_aux_get_capture_devices_create",
             "sdk_req_aux_connectivity_info_create", "sdk_strdup"):
    getattr(sdk, name).restype = ctypes.c_void_p
sdk.sdk_strdup.argtypes = [ctypes.c_char_p]
sdk.sdk_ctl_free_text.argtypes = [ctypes.c_void_p]
sdk.sdk_issue_request.argtypes = [ctypes.c_void_p]
sdk.sdk_get_message.argtypes = [ctypes.POINTER(ctypes.c_void_p)]
sdk.destroy_msg.argtypes = [ctypes.c_void_p]
HANDLER = ctypes.CFUNCTYPE(None, ctypes.c_void_p)
sdk.sdk_register_message_notification_handler.argtypes = [HANDLER, ctypes.c_void_p]
sdk.sdk_unregister_message_notification_handler.argtypes = [HANDLER, ctypes.c_void_p]


def issue_login(cookie=None, sync=False, account_name=b"alice", option=0):
    login = Login.from_address(sdk.sdk_req_account_login_create())
    login.base.cookie = sdk.sdk_strdup(cookie)
    login.base.user_pointer = 1 if sync else None
    login.account_name = sdk.sdk_strdup(account_name)
    login.login_option = option
    return sdk.sdk_issue_request(ctypes.addressof(login))


def issue(create):
    return sdk.sdk_issue_request(getattr(sdk, create)())


def take_all():
    taken, message = [], ctypes.c_void_p()
    while sdk.sdk_get_message(ctypes.byref(message)) == 0:
        taken.append(message.value)
    return taken


def destroy_all(messages):
    for message in messages:
        sdk.destroy_msg(message)


class ControlTest(unittest.TestCase):
    def setUp(self):
        voicesdk.reset()

    def tearDown(self):
        voicesdk.reset()
        self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 0, "events": 0})

    def test_requests_are_recorded_with_their_fields(self):
        self.assertEqual(issue_login(b"3", sync=True, option=7), 0)
        position = Position.from_address(sdk.sdk_req_session_set_3d_position_create())
        position.listener_vectors[14] = 2.5
        sdk.sdk_issue_request(ctypes.addressof(position))
        first, second = voicesdk.requests()
        self.assertEqual(first["kind"], "account_login")
        self.assertEqual(first["cookie"], "3")
        self.assertIs(first["sync"], True)
        self.assertIs(first["accepted"], True)
        self.assertEqual(first["fields"], [("connector_handle", None), ("account_name", "alice"),
                                           ("password", None), ("login_option", 7),
                                           ("login_trailing_option", 0)])
        self.assertEqual(second["cookie"], None)
        self.assertIs(second["sync"], False)
        fields = dict(second["fields"])
        self.assertEqual(fields["listener_vectors"], (0.0,) * 14 + (2.5,))
        voicesdk.clear_requests()
        self.assertEqual(voicesdk.requests(), [])

    def test_text_that_is_not_utf8_round_trips(self):
        issue_login(b"c1", account_name=b"caf\xe9")
        name = dict(voicesdk.requests()[0]["fields"])["account_name"]
        voicesdk.respond("c1", display_name=name)
        if PY3:
            self.assertEqual(name, "caf\udce9")
            voicesdk.respond(0, display_name=b"raw\xff")
        else:
            voicesdk.respond(0, display_name="raw\xff")
        first, second = take_all()
        self.assertEqual(LoginResp.from_address(first).display_name, b"caf\xe9")
        self.assertEqual(LoginResp.from_address(second).display_name, b"raw\xff")
        self.assertEqual(LoginResp.from_address(first).base.request.contents.kind, 2)
        destroy_all([first, second])

    def test_once_rules_then_standing_rule(self):
        voicesdk.answer("account_login", status_code=1, account_handle="h")
        voicesdk.answer("account_login", status_code=2, once=True)
        voicesdk.answer("account_login", 0, 3, "third", True)
        for _ in range(3):
            self.assertEqual(issue_login(), 0)
        messages = take_all()
        responses = [LoginResp.from_address(m) for m in messages]
        self.assertEqual([r.base.status_code for r in responses], [2, 3, 1])
        self.assertEqual(responses[1].base.status_text, b"third")
        self.assertEqual(responses[2].account_handle, b"h")
        self.assertEqual(responses[0].base.response_type, 3)
        destroy_all(messages)

    def test_refusal_is_recorded_and_never_answered(self):
        voicesdk.answer("account_logout")
        voicesdk.refuse(-5)
        self.assertEqual(issue("sdk_req_account_logout_create"), -5)
        self.assertEqual(issue("sdk_req_account_logout_create"), 0)
        self.assertEqual([r["accepted"] for r in voicesdk.requests()], [False, True])
        destroy_all(self.assertLength(take_all(), 1))

    def assertLength(self, items, n):
        self.assertEqual(len(items), n)
        return items

    def test_structured_results(self):
        voicesdk.answer("aux_get_capture_devices", devices=["mic", "headset"], current_device="headset")
        voicesdk.answer("aux_connectivity_info", test_results=[(1, 0, "fine"), (2, 9, None)], test_count=1)
        issue("sdk_req_aux_get_capture_devices_create")
        issue("sdk_req_aux_connectivity_info_create")
        devices, tests = take_all()
        d = DevicesResp.from_address(devices)
        self.assertEqual(d.count, 2)
        self.assertEqual([d.devices[i].contents.name for i in range(2)], [b"mic", b"headset"])
        self.assertEqual(d.current_device.contents.name, b"headset")
        t = ConnectivityResp.from_address(tests)
        self.assertEqual(t.test_count, 1)
        self.assertEqual((t.test_results[1].contents.test_result, t.test_results[1].contents.test_info),
                         (9, None))
        destroy_all([devices, tests])
        voicesdk.respond_to(87, "aux_get_capture_devices", {}, devices=[])
        d = DevicesResp.from_address(self.assertLength(take_all(), 1)[0])
        self.assertEqual((d.count, bool(d.current_device)), (0, False))
        sdk.destroy_msg(ctypes.addressof(d))

    def test_bad_arguments_raise_and_queue_nothing(self):
        issue_login(b"7")
        bad = [
            (TypeError, lambda: voicesdk.answer("account_login", channel_uri="x")),
            (TypeError, lambda: voicesdk.answer("account_login", account_handle=5)),
            (TypeError, lambda: voicesdk.respond(0, status_code="5")),
            (ValueError, lambda: voicesdk.answer("nope")),
            (ValueError, lambda: voicesdk.respond(0, display_name="a\0b")),
            (ValueError, lambda: voicesdk.answer("aux_connectivity_info",
                                                 test_results=[(1, 0, None)], test_count=2)),
            (TypeError, lambda: voicesdk.answer("aux_connectivity_info", test_results=[(1, "x")])),
            (TypeError, lambda: voicesdk.answer("aux_get_render_devices", devices="mic")),
            (IndexError, lambda: voicesdk.respond(5)),
            (KeyError, lambda: voicesdk.respond("missing")),
            (TypeError, lambda: voicesdk.respond_to(3, "account_login", {"nosuch": 1})),
            (TypeError, lambda: voicesdk.event(1, login_state="up")),
            (TypeError, lambda: voicesdk.event(4, no_field=1)),
            (ValueError, lambda: voicesdk.event_burst(-1, 1)),
            (OverflowError, lambda: voicesdk.event(1, login_state=2 ** 40)),
            (ValueError, lambda: voicesdk.mode("bogus")),
            (ValueError, lambda: voicesdk.fault("bogus")),
        ]
        for error, call in bad:
            self.assertRaises(error, call)
        self.assertEqual(take_all(), [])
        self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 0, "events": 0})
        issue_login()
        self.assertEqual(take_all(), [], "a failed answer() left a rule behind")

    def test_service_mode_is_reported_unavailable(self):
        try:
            voicesdk.mode("service")
        except ValueError as error:
            self.assertIn("not available", str(error))
        voicesdk.mode("scripted")

    def test_events_messages_and_live_counts(self):
        voicesdk.event(6, session_handle="s", participant_uri=u"sip:\u00e9", flag_a=1, level=0.5)
        voicesdk.event(99)
        voicesdk.message(42)
        voicesdk.respond_to(16, "session_create", {"channel_uri": "c", "cookie": "9"}, session_handle="s1")
        self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 1, "events": 3})
        messages = take_all()
        event = EvtParticipant.from_address(messages[0])
        self.assertEqual((event.session_handle, event.participant_uri, event.flag_a, event.level),
                         (b"s", u"sip:\u00e9".encode("utf-8"), 1, 0.5))
        response = RespBase.from_address(messages[3])
        self.assertEqual((response.response_type, response.request.contents.kind), (16, 9))
        self.assertEqual(ctypes.c_char_p(response.request.contents.cookie).value, b"9")
        destroy_all(messages)
        voicesdk.event_burst(5, 4, session_handle="s")
        voicesdk.event(1)
        voicesdk.reset()  # releases what is still queued
        self.assertEqual(take_all(), [])

    def test_flush_waits_for_a_handler_and_drops_the_interpreter_lock(self):
        voicesdk.event(1)
        self.assertFalse(voicesdk.flush(5.0), "no handler registered")
        delivered = []

        # A ctypes handler needs the interpreter lock: flush() must let it go.
        @HANDLER
        def handler(_user_data):
            delivered.extend(take_all())

        self.assertEqual(sdk.sdk_register_message_notification_handler(handler, None), 0)
        try:
            self.assertEqual(voicesdk.handlers(), 1)
            voicesdk.event_burst(100, 4)
            self.assertTrue(voicesdk.flush(timeout=5))
            self.assertEqual(len(delivered), 101)
        finally:
            # The notification thread waits on the interpreter lock to finish
            # a call; unregistering from here must not hold it.
            t = threading.Thread(target=sdk.sdk_unregister_message_notification_handler,
                                 args=(handler, None))
            t.start()
            t.join()
        destroy_all(delivered)
        self.assertEqual(voicesdk.handlers(), 0)

    def test_fail_strdup_and_reset(self):
        voicesdk.fail_strdup()
        self.assertIsNone(sdk.sdk_strdup(b"x"))
        voicesdk.fail_strdup(3)
        voicesdk.reset()
        copy = sdk.sdk_strdup(b"y")
        self.assertTrue(copy)
        self.assertEqual(ctypes.string_at(copy), b"y")
        # A text no record took goes back to the SDK, never to free().
        sdk.sdk_ctl_free_text(copy)

    def test_platform_faults_everywhere_but_windows(self):
        # Tests that inject platform faults skip where PLATFORM_FAULTS is
        # false; that must not happen where the platform layer is ours.
        self.assertEqual(bool(voicesdk.PLATFORM_FAULTS), sys.platform != "win32")
        if voicesdk.PLATFORM_FAULTS:
            voicesdk.fault("post_message", count=2, error=5)
        else:
            self.assertRaises(NotImplementedError, voicesdk.fault, "post_message")
        voicesdk.fault_clear()

    def test_type_names_are_the_types_of_the_messages(self):
        kinds = sorted(name[len("RESPONSE_"):].lower() for name in dir(voicesdk) if name.startswith("RESPONSE_"))
        self.assertEqual(len(kinds), 35)
        for kind in kinds:
            create = getattr(sdk, "sdk_req_%s_create" % kind)
            create.restype = ctypes.c_void_p
            voicesdk.answer(kind)
            self.assertEqual(sdk.sdk_issue_request(create()), 0)
        voicesdk.event(voicesdk.EVENT_SESSION_STATE_CHANGE)
        messages = take_all()
        found = [(RespBase.from_address(m).message_type, RespBase.from_address(m).response_type) for m in messages]
        expected = [(voicesdk.MESSAGE_RESPONSE, getattr(voicesdk, "RESPONSE_" + kind.upper())) for kind in kinds]
        # An event's type sits where a response's does.
        self.assertEqual(found, expected + [(voicesdk.MESSAGE_EVENT, voicesdk.EVENT_SESSION_STATE_CHANGE)])
        destroy_all(messages)



class RequestRecordTest(unittest.TestCase):
    """Scripted mode keeps every request; while the service answers only the
    latest are kept, numbered on across those let go."""

    def setUp(self):
        voicesdk.reset()
        try:
            voicesdk.mode("service")
        except ValueError:
            self.skipTest("no simulated service in this build")
        voicesdk.mode("scripted")

    def tearDown(self):
        voicesdk.reset()
        self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 0, "events": 0})

    def issue(self, first, count):
        for number in range(first, first + count):
            issue_login(str(number).encode("ascii"))
        destroy_all(take_all())  # whatever the service answered

    def kept(self):
        return [(r["index"], r["cookie"]) for r in voicesdk.requests()]

    def responded_cookie(self, which):
        voicesdk.respond(which)
        message, = take_all()
        cookie = ctypes.c_char_p(LoginResp.from_address(message).base.request.contents.cookie).value
        destroy_all([message])
        return cookie

    def test_ring_while_the_service_answers(self):
        self.assertEqual(voicesdk.request_limit(), 1000)
        self.assertEqual(voicesdk.request_limit(3), 3)
        self.issue(0, 5)
        self.assertEqual(self.kept(), [(i, str(i)) for i in range(5)])  # scripted: all of them
        voicesdk.mode("service")
        voicesdk.service(latency=0)
        self.assertEqual(self.kept(), [(2, "2"), (3, "3"), (4, "4")])
        self.issue(5, 4)
        self.assertEqual(self.kept(), [(6, "6"), (7, "7"), (8, "8")])
        self.assertEqual(voicesdk.request_total(), 9)
        # Indices stay those of issue order; one let go is named as such.
        self.assertEqual(self.responded_cookie(7), b"7")
        self.assertEqual(self.responded_cookie(-1), b"8")
        self.assertRaisesRegex(IndexError, "no longer kept", voicesdk.respond, 5)
        self.assertRaises(IndexError, voicesdk.respond, 9)
        self.assertRaises(IndexError, voicesdk.respond, -4)
        self.assertEqual(voicesdk.request_limit(2), 2)  # lowered: applied at once
        self.assertEqual(self.kept(), [(7, "7"), (8, "8")])
        voicesdk.mode("scripted")
        self.issue(9, 3)
        self.assertEqual([index for index, _ in self.kept()], [7, 8, 9, 10, 11])
        voicesdk.clear_requests()
        self.assertEqual((voicesdk.requests(), voicesdk.request_total()), ([], 0))
        self.assertRaises(ValueError, voicesdk.request_limit, 0)
        voicesdk.reset()
        self.assertEqual(voicesdk.request_limit(), 1000)

    if not hasattr(unittest.TestCase, "assertRaisesRegex"):
        assertRaisesRegex = unittest.TestCase.assertRaisesRegexp

if __name__ == "__main__":
    unittest.main()
