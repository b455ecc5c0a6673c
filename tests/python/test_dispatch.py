"""The listener protocol and the branches of both dispatchers that do not
concern channels: microphone level, key events, other events, unknown
responses, and what happens when a listener misbehaves."""
import sys
import unittest

import _talkwire
import voicesdk

from support import OTHER_EVENT, OTHER_EVENTS, PY3, ConnectorTest, RecordingListener, Unraisables, pump


class Counting(object):
    """A return value whose reference count shows whether it was released."""


class Raising(RecordingListener):
    def OnConnectorEvent(self, *args):
        self.calls.append(("OnConnectorEvent",) + args)
        raise RuntimeError("listener failed")


class ListenerProtocolTest(ConnectorTest):
    def test_listener_without_methods(self):
        self.connector = _talkwire.Connector(object())
        voicesdk.event(OTHER_EVENT)
        voicesdk.event(voicesdk.EVENT_AUX_AUDIO_PROPERTIES, mic_active=1, mic_energy=0.5)
        voicesdk.respond_to(voicesdk.RESPONSE_AUX_CONNECTIVITY_INFO, "aux_connectivity_info", {})
        with Unraisables() as hook:
            self.pump()
        self.assertEqual(hook.seen, [])
        self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 0, "events": 0})

    def test_raising_method_goes_to_the_hook_and_handling_goes_on(self):
        listener = Raising()
        self.connector = _talkwire.Connector(listener)
        voicesdk.event(OTHER_EVENT)
        voicesdk.event(OTHER_EVENTS[1])
        voicesdk.event(voicesdk.EVENT_KEYBOARD_MOUSE, binding_name="ptt", key_state=1)
        with Unraisables() as hook:
            self.pump()
            self.assertIsNone(sys.exc_info()[1])
        self.assertEqual(listener.names(), ["OnConnectorEvent", "OnConnectorEvent", "OnKeyEvent"])
        self.assertEqual(len(hook.seen), 2)
        if PY3 and sys.version_info >= (3, 8):
            self.assertIsInstance(hook.seen[0], RuntimeError)
        self.assertEqual(voicesdk.live()["events"], 0)

    def test_results_are_released(self):
        result = Counting()

        class Returning(object):
            def OnConnectorEvent(self, *args):
                return result

        self.connector = _talkwire.Connector(Returning())
        before = sys.getrefcount(result)
        for _ in range(20):
            voicesdk.event(OTHER_EVENT)
        self.pump()
        self.assertEqual(sys.getrefcount(result), before)

    def test_methods_looked_up_at_every_call(self):
        class Late(object):
            pass

        listener = Late()
        self.connector = _talkwire.Connector(listener)
        voicesdk.event(OTHER_EVENT)
        self.pump()
        seen = []
        listener.OnConnectorEvent = lambda *args: seen.append(args)
        voicesdk.event(OTHER_EVENT)
        self.pump()
        self.assertEqual(seen, [(OTHER_EVENT, 0, 0)])

    def test_changes_to_the_listeners_class_are_followed(self):
        seen = []

        class Changing(object):
            def OnConnectorEvent(self, *args):
                seen.append(("first",) + args)

        class Other(object):
            def OnConnectorEvent(self, *args):
                seen.append(("other",) + args)

        def second(self, *args):
            seen.append(("second",) + args)

        listener = Changing()
        self.connector = _talkwire.Connector(listener)
        steps = [
            lambda: None,
            lambda: setattr(Changing, "OnConnectorEvent", second),
            # An instance attribute comes before the class's method.
            lambda: setattr(listener, "OnConnectorEvent", lambda *args: seen.append(("own",) + args)),
            lambda: delattr(listener, "OnConnectorEvent"),
            # Not a plain function any more.
            lambda: setattr(Changing, "OnConnectorEvent", staticmethod(lambda *args: seen.append(("static",) + args))),
            lambda: delattr(Changing, "OnConnectorEvent"),
            lambda: setattr(Changing, "__getattr__", lambda self, name: lambda *args: seen.append(("dynamic",) + args)),
            lambda: setattr(listener, "__class__", Other),
        ]
        for step in steps:
            step()
            voicesdk.event(OTHER_EVENT)
            self.pump()
        self.assertEqual([call[0] for call in seen],
                         ["first", "second", "own", "second", "static", "dynamic", "other"])
        self.assertTrue(all(call[-3:] == (OTHER_EVENT, 0, 0) for call in seen))

    def test_text_that_is_not_utf8_reaches_the_listener(self):
        raw = b"ptt-\xff\xfe"
        voicesdk.event(voicesdk.EVENT_KEYBOARD_MOUSE, binding_name=raw, key_state=2)
        voicesdk.respond_to(voicesdk.RESPONSE_AUX_CREATE_ACCOUNT, "aux_create_account", {}, return_code=1,
                            status_code=1, status_text=raw)
        self.pump()
        name, state = self.listener.of("OnKeyEvent")[0]
        text = self.listener.of("OnCreateAccountFailed")[0][1]
        if PY3:
            self.assertEqual(name.encode("utf-8", "surrogateescape"), raw)
            self.assertEqual(text.encode("utf-8", "surrogateescape"), raw)
        else:
            self.assertEqual((name, text), (raw, raw))
        self.assertEqual(state, 2)

    def test_recurring_texts_reach_the_listener_exactly(self):
        # Texts recur and evict each other in the connector's cache of
        # recent strings: names of one length that differ in a single byte,
        # more distinct names than the cache holds, and lengths around the
        # longest it keeps.
        names = ["key-%03d" % i for i in range(150)]
        names += ["k" * 127 + "a", "k" * 127 + "b", "k" * 128 + "a", "k" * 128 + "b", "", "key-000 "]
        sent = []
        for round_ in range(3):
            for i, name in enumerate(names):
                sent.extend([name, name, names[(i * 7 + round_) % len(names)]])
        for state, name in enumerate(sent):
            voicesdk.event(voicesdk.EVENT_KEYBOARD_MOUSE, binding_name=name, key_state=state)
        self.pump()
        received = self.listener.of("OnKeyEvent")
        self.assertEqual([name for name, _ in received], sent)
        self.assertEqual([state for _, state in received], list(range(len(sent))))


class EventBranchTest(ConnectorTest):
    def test_microphone_level_truncates(self):
        for energy in (0.29, 0.57, 0.999, 0.0, 1.0):
            voicesdk.event(voicesdk.EVENT_AUX_AUDIO_PROPERTIES, mic_active=0, mic_energy=energy)
        self.pump()
        self.assertEqual(self.listener.of("OnMicrophoneIntensityEvent"),
                         [(28, 0, 100), (56, 0, 100), (99, 0, 100), (0, 0, 100), (100, 0, 100)])

    def test_key_event_without_binding_name(self):
        voicesdk.event(voicesdk.EVENT_KEYBOARD_MOUSE, key_state=1)
        self.pump()
        self.assertEqual(self.listener.of("OnKeyEvent"), [(None, 1)])

    def test_other_events(self):
        for event_type in (3, 7, 29, 0, -4):
            voicesdk.event(event_type)
        self.pump()
        self.assertEqual(self.listener.of("OnConnectorEvent"),
                         [(3, 0, 0), (7, 0, 0), (29, 0, 0), (0, 0, 0), (-4, 0, 0)])

    def test_unlisted_responses_call_nobody(self):
        for response_type in (voicesdk.RESPONSE_SESSIONGROUP_CREATE, voicesdk.RESPONSE_AUX_SET_RENDER_DEVICE,
                              voicesdk.RESPONSE_ACCOUNT_LOGOUT, voicesdk.RESPONSE_CONNECTOR_MUTE_LOCAL_MIC, 12345):
            voicesdk.respond_to(response_type, "account_logout", {}, return_code=1, status_code=3)
        self.pump()
        self.assertEqual(self.listener.calls, [])


class TroubleshooterTest(ConnectorTest):
    def report(self, **response):
        voicesdk.respond_to(voicesdk.RESPONSE_AUX_CONNECTIVITY_INFO, "aux_connectivity_info", {}, **response)
        self.pump()
        reports = self.listener.of("OnConnectivityTroubleShooterErrorFound")
        self.assertEqual(len(reports), 1)
        self.listener.clear()
        return reports[0]

    def test_request_fields_follow_the_voice_domain(self):
        self.connector.RunTroubleShooter()
        self.assertEqual(self.last_request("aux_connectivity_info")["fields"][:5], [
            ("dns_server", "8.8.8.8"), ("stun_server", "stun."), ("echo_server", "echo."),
            ("numeric_setting_1", 50505), ("numeric_setting_2", 10000)])

    def test_report_shapes(self):
        self.assertEqual(self.report(test_results=[(0, 0, None), (1, 1, "ok")]), (-1, "", "", ""))
        self.assertEqual(self.report(test_results=[]), (-1, "", "", ""))
        self.assertEqual(self.report(test_results=[(0, 0, None), (1, 1, None), (2, 5, "dns down"),
                                                   (3, 7, None)]),
                         (0, "Test DNS", "5 ", "dns down"))
        self.assertEqual(self.report(status_text="partial", test_results=[(0, 1, None), (16, 9, None)]),
                         (0, "Test Media Large Packet", "9 partial", ""))
        self.assertEqual(self.report(test_results=[(22, 2, None)]), (0, "Test Type 22", "2 ", ""))
        self.assertEqual(self.report(test_results=[(-3, 2, None)]), (0, "Test Type -3", "2 ", ""))
        self.assertEqual(self.report(return_code=1, status_code=10), (10, "General Failure", "10 ", ""))
        self.assertEqual(self.report(return_code=1, status_code=1001, status_text="abc"),
                         (1001, "General Failure", "1001 abc", ""))

    def test_only_the_counted_tests_are_looked_at(self):
        self.assertEqual(self.report(test_results=[(0, 3, None), (1, 4, None)], test_count=0),
                         (-1, "", "", ""))
        self.assertEqual(self.report(test_results=[(0, 0, None), (1, 4, None)], test_count=1),
                         (-1, "", "", ""))


if __name__ == "__main__":
    unittest.main()
