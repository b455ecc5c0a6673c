"""Global push-to-talk: the key binding handed to the SDK's key monitor, and
the key events that come back."""
import unittest

import voicesdk

from support import ConnectorTest, fields

KIND = "aux_global_monitor_keyboard_mouse"
KEY_EVENT = voicesdk.EVENT_KEYBOARD_MOUSE


class EnableTest(ConnectorTest):
    def test_two_entries_send_the_last_name_and_codes_in_order(self):
        self.assertIsNone(self.connector.EnableGlobalPushToTalkMode([("A", 17), ("B", 18)]))
        request = self.last_request(KIND)
        self.assertEqual((request["cookie"], request["sync"]), ("1", False))
        self.assertEqual(request["fields"], [("binding_name", "B"), ("code_count", 2),
                                             ("key_codes", (17, 18, 0, 0, 0, 0, 0, 0, 0, 0))])

    def test_ten_entries_accepted_eleven_refused(self):
        entries = [("key%d" % i, 100 + i) for i in range(11)]
        self.connector.EnableGlobalPushToTalkMode(entries[:10])
        sent = fields(self.last_request(KIND))
        self.assertEqual(sent["code_count"], 10)
        self.assertEqual(sent["key_codes"], tuple(range(100, 110)))
        self.assertEqual(sent["binding_name"], "key9")
        with self.assertRaises(ValueError) as caught:
            self.connector.EnableGlobalPushToTalkMode(entries)
        self.assertEqual(str(caught.exception), "too many entries, max 10 supported")
        self.assertEqual(len(voicesdk.requests()), 1)
        self.assertEqual(voicesdk.live()["requests"], 0)

    def test_empty_list_sends_a_bare_request(self):
        self.assertIsNone(self.connector.EnableGlobalPushToTalkMode([]))
        request = self.last_request(KIND)
        self.assertIsNone(request["cookie"])
        self.assertEqual(request["fields"], [("binding_name", None), ("code_count", 0),
                                             ("key_codes", (0,) * 10)])
        # No cookie was taken: the next request still carries "1".
        self.connector.RunTroubleShooter()
        self.assertEqual(self.last_request("aux_connectivity_info")["cookie"], "1")

    def test_malformed_entry_issues_nothing_and_releases_the_request(self):
        for bad in [("C", "19"), ("C",), ("C", 19, 20), ["C", 19], "C", None, (19, 19)]:
            with self.assertRaises(TypeError):
                self.connector.EnableGlobalPushToTalkMode([("A", 17), ("B", 18), bad])
        self.assertEqual(voicesdk.requests(), [])
        self.assertEqual(voicesdk.live()["requests"], 0)
        # Nothing issued took a cookie.
        self.connector.EnableGlobalPushToTalkMode([("A", 17)])
        self.assertEqual(self.last_request(KIND)["cookie"], "1")

    def test_argument_that_is_not_a_list(self):
        for value in [("A", 17), None, 5, {"A": 17}]:
            with self.assertRaises(SystemError):
                self.connector.EnableGlobalPushToTalkMode(value)
        with self.assertRaises(TypeError) as caught:
            self.connector.EnableGlobalPushToTalkMode()
        self.assertIn("EnableGlobalPushToTalkMode", str(caught.exception))
        self.assertEqual(voicesdk.requests(), [])

    def test_list_changed_while_codes_convert(self):
        entries = []

        class Code(object):
            def __index__(self):
                del entries[:]
                return 7
            __int__ = __index__

        entries.extend([("A", Code()), ("B", 8)])
        with self.assertRaises(IndexError):
            self.connector.EnableGlobalPushToTalkMode(entries)
        self.assertEqual(voicesdk.requests(), [])
        self.assertEqual(voicesdk.live()["requests"], 0)

    def test_refusal(self):
        voicesdk.refuse(12)
        self.assertWindowsError(12, "Couldn't set key binding", self.connector.EnableGlobalPushToTalkMode,
                                [("A", 1)])


class KeyEventTest(ConnectorTest):
    def test_key_events_reach_the_listener(self):
        self.connector.EnableGlobalPushToTalkMode([("talk", 17)])
        voicesdk.respond(0)
        voicesdk.event(KEY_EVENT, binding_name="talk", key_state=1)
        voicesdk.event(KEY_EVENT, key_state=0)
        self.pump()
        self.assertEqual(self.listener.of("OnKeyEvent"), [("talk", 1), (None, 0)])


if __name__ == "__main__":
    unittest.main()
