"""Method arguments: an argument of exactly the expected type is read by the
module, anything else by the interpreter's parser.  Both must store the same
values, and every wrong argument must raise the parser's own error."""
import ctypes
import unittest
import warnings

import voicesdk

from signatures import ENTRY_FORMAT, letters, parsed_methods
from support import PY3
from test_channels_join import ChannelTest

INT_MAX = 2 ** 31 - 1
INT_MIN = -2 ** 31


class Text(str):
    pass


class Integer(int):
    pass


class Real(float):
    pass


class OneChannelTest(ChannelTest):
    """Channel "a" connected: a call with good arguments issues a request."""

    def setUp(self):
        ChannelTest.setUp(self)
        self.join("a")
        self.connect("a", "s-a")
        voicesdk.clear_requests()


class ArgumentsTest(OneChannelTest):

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



class ArgumentErrorsTest(OneChannelTest):
    """Every wrong argument raises what the interpreter's own parser raises
    for the method's documented format, called here through ctypes, the
    module's deliberate differences excepted."""

    def setUp(self):
        OneChannelTest.setUp(self)
        self.failures = []

    def compare(self, call, format, args, label):
        """`call(*args)` against the parser with `format` and `args`."""
        expected = parser_error(format, args)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            try:
                call(*args)
                got = None
            except Exception as error:  # noqa: B902 - the type is compared
                got = (type(error), str(error))
        if expected is None:
            self.failures.append("%s: the parser takes it; not a wrong value" % label)
        elif PY3 and expected[0] is ValueError and "embedded null" in expected[1]:
            # Also names the method and argument.
            if got is None or got[0] is not ValueError or "embedded null character" not in got[1]:
                self.failures.append("%s: %r, not an embedded-NUL ValueError" % (label, got))
        elif got != expected:
            self.failures.append("%s: %r, the parser %r" % (label, got, expected))

    def require(self, call, args, label):
        """An omitted argument without a value: a TypeError naming it."""
        try:
            call(*args)
        except TypeError as error:
            if "%d given" % len(args) not in str(error):
                self.failures.append("%s: %s" % (label, error))
        else:
            self.failures.append("%s: accepted" % label)

    def test_wrong_arguments_raise_the_parsers_error(self):
        for name, format, required in parsed_methods():
            method = getattr(self.connector, name)
            kinds = letters(format)
            valid = [VALID[kind] for kind in kinds]
            self.compare(method, format, tuple(valid + [1]), "%s: one too many" % name)
            for given in range(required):
                args = tuple(valid[:given])
                label = "%s: %d given" % (name, given)
                if given < required_by(format):
                    self.compare(method, format, args, label)
                else:
                    self.require(method, args, label)
            for label, args in wrong_arguments(kinds, valid):
                self.compare(method, format, args, "%s(%s)" % (name, label))
        self.assertEqual(self.failures, [], "\n".join(self.failures))
        self.assertEqual(voicesdk.requests(), [])

    def test_wrong_key_binding_entries_raise_the_parsers_error(self):
        enable = self.connector.EnableGlobalPushToTalkMode

        def bind(*entry):
            return enable([("first", 1), entry])

        kinds = letters(ENTRY_FORMAT)
        valid = [VALID[kind] for kind in kinds]
        cases = [("empty", ()), ("one too few", tuple(valid[:1])), ("one too many", tuple(valid + [1]))]
        for label, args in cases + list(wrong_arguments(kinds, valid)):
            self.compare(bind, ENTRY_FORMAT, args, "entry (%s)" % label)
        self.assertEqual(self.failures, [], "\n".join(self.failures))
        # Not a tuple: the parser would take it for a bad internal call.
        self.assertRaises(TypeError, enable, [["first", 1]])
        self.assertEqual(voicesdk.requests(), [])


class ExplodingError(Exception):
    pass


class LaterError(Exception):
    pass


def raiser(error):
    def convert(self):
        raise error(type(self).__name__)
    return convert


class Exploding(object):
    """A number whose every conversion raises."""
    __index__ = __int__ = __long__ = __float__ = raiser(ExplodingError)


class Later(object):
    """Wrong for every kind, with an error of its own: placed after the
    wrong argument, it shows which of the two was judged."""
    __index__ = __int__ = __long__ = __float__ = raiser(LaterError)


VALID = {"s": "a", "i": 1, "f": 0.5, "O": [("ptt", 17)]}

# Values the parser refuses for each kind, each for a reason of its own.
WRONG = {
    "s": [5, None, 1.5, bytearray(b"x"), Exploding(), "a\0b", u"a\0"],
    "i": ["1", None, 1.5, 2 ** 31, -2 ** 31 - 1, 2 ** 64, Exploding()],
    "f": ["1.5", None, [], 10 ** 400, Exploding()],
    "O": [],
}


def wrong_arguments(kinds, valid):
    """(label, arguments): each position wrong in turn, those before it
    valid and those after it wrong too."""
    for position, kind in enumerate(kinds):
        for value in WRONG[kind]:
            later = [Later() if after != "O" else VALID["O"] for after in kinds[position + 1:]]
            yield "%r at %d" % (value, position + 1), tuple(valid[:position] + [value] + later)


def required_by(format):
    """How many arguments the format itself requires."""
    return len(format.split("|")[0]) if "|" in format else len(letters(format))


def parser_error(format, args):
    """(type, text) of what PyArg_ParseTuple raises for `args` and
    `format`, or None when it takes them."""
    parse = ctypes.pythonapi.PyArg_ParseTuple
    parse.restype = ctypes.c_int
    outputs = [ctypes.c_void_p() for _ in letters(format)]  # room for any letter's output
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            parse(ctypes.py_object(args), ctypes.c_char_p(format.encode("ascii")),
                  *[ctypes.byref(output) for output in outputs])
    except Exception as error:  # noqa: B902 - the type is compared
        return type(error), str(error)
    return None


class KeywordArgumentsTest(ChannelTest):
    def test_keywords_are_refused(self):
        with self.assertRaises(TypeError):
            self.connector.JoinChannelEx(name="a")
        self.assertEqual(voicesdk.requests(), [])


if __name__ == "__main__":
    unittest.main()
