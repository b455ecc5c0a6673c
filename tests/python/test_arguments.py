"""Method arguments: arguments of exactly the expected type take a short
road past the interpreter's parser; everything else goes through it.  Both
roads must store the same values and reject the same calls."""
import unittest

import voicesdk

from support import fields
from test_channels_join import ChannelTest

INT_MAX = 2 ** 31 - 1
INT_MIN = -2 ** 31


class Text(str):
    pass


class Integer(int):
    pass


class Real(float):
    pass


class ArgumentsTest(ChannelTest):
    def setUp(self):
        ChannelTest.setUp(self)
        self.join("a")
        self.connect("a", "s-a")
        voicesdk.clear_requests()

    def issued(self, method, *args):
        """The fields of the one request `method` issues with `args`."""
        voicesdk.clear_requests()
        self.assertIsNone(getattr(self.connector, method)(*args))
        requests = voicesdk.requests()
        self.assertEqual(len(requests), 1, method)
        return requests[0]["fields"]

    def test_both_roads_store_the_same_values(self):
        for value in (0, 1, -7, INT_MAX, INT_MIN):
            exact = self.issued("MuteChannelOutput", "a", value)
            parsed = self.issued("MuteChannelOutput", Text("a"), Integer(value))
            self.assertEqual(exact, [("session_handle", "s-a"), ("mute", value)])
            self.assertEqual(parsed, exact)
        exact = self.issued("MuteParticipantForMe", "a", "sip:p", 3)
        self.assertEqual(self.issued("MuteParticipantForMe", "a", Text("sip:p"), True),
                         [("session_handle", "s-a"), ("participant_uri", "sip:p"), ("mute", 1)])
        self.assertEqual(exact[-1], ("mute", 3))
        self.pump()

    def test_single_precision_values_match(self):
        args = (0.1, -2.5, 3.0, 1e-3, 7.25, -0.5, 0.75)
        exact = self.issued("SetAudioPositionAndFacing", "a", *args)
        parsed = self.issued("SetAudioPositionAndFacing", "a", *[Real(x) for x in args])
        self.assertEqual(parsed, exact)
        # Integers for floats go through the parser and convert alike.
        whole = self.issued("SetAudioPositionAndFacing", "a", 1, 2, 3, 4, 5, 6, 0)
        self.assertEqual(whole, self.issued("SetAudioPositionAndFacing", "a", 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 0.0))
        self.pump()

    def test_out_of_range_integers_are_rejected_either_way(self):
        for value in (INT_MAX + 1, INT_MIN - 1, 2 ** 64):
            given = [value]
            try:
                given.append(Integer(value))
            except OverflowError:  # Python 2: an int subclass holds a C long only
                pass
            for argument in given:
                self.assertRaises(OverflowError, self.connector.MuteChannelOutput, "a", argument)
        self.assertEqual(voicesdk.requests(), [])

    def test_omitted_optional_arguments_keep_their_defaults(self):
        self.assertEqual(self.issued("MuteChannelOutput", "a"), [("session_handle", "s-a"), ("mute", 0)])
        # No name: the guard finds no channel and issues nothing.
        voicesdk.clear_requests()
        self.assertIsNone(self.connector.MuteChannelOutput())
        self.assertEqual(voicesdk.requests(), [])
        self.pump()

    def test_arity_and_type_errors(self):
        for args in (("a", 1, 2), (1, 1), (None,)):
            with self.assertRaises(TypeError) as caught:
                self.connector.MuteChannelOutput(*args)
            self.assertIn("MuteChannelOutput", str(caught.exception))
        for args in (("a", "1"), ("a", 1.0)):
            self.assertRaises(TypeError, self.connector.MuteChannelOutput, *args)
        self.assertRaises(ValueError, self.connector.MuteChannelOutput, "a\0", 1)
        self.assertEqual(voicesdk.requests(), [])


class KeywordArgumentsTest(ChannelTest):
    def test_keywords_are_refused(self):
        with self.assertRaises(TypeError):
            self.connector.JoinChannelEx(name="a")
        self.assertEqual(voicesdk.requests(), [])


if __name__ == "__main__":
    unittest.main()
