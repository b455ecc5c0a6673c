"""Every method against hostile arguments: wrong arity, wrong types, huge
and exploding numbers, embedded NULs, 1 MiB, non-ASCII and non-UTF-8 text.

A rejected call must raise a clean Python exception, create and issue no
request, take no cookie, change nothing observable and keep no reference
to its arguments.  A call the parser accepts must give its defined result
and carry text into the SDK unchanged."""
from __future__ import print_function

import sys
import time
import unittest
import warnings

import _talkwire
import voicesdk

from reliability_support import CHANNEL, PY3, JoinedConnectorTest, observe
from signatures import ANYTHING, NOARGS, RETIRED, SIGNATURES, letters


class ExplodingError(Exception):
    pass


class Exploding(object):
    """A number whose every conversion raises."""

    def __int__(self):
        raise ExplodingError("__int__")

    def __index__(self):
        raise ExplodingError("__index__")

    def __float__(self):
        raise ExplodingError("__float__")

    if not PY3:
        def __long__(self):
            raise ExplodingError("__long__")


def text(value):
    """Text as the native str: on Python 2 the UTF-8 bytes."""
    return value if PY3 else value.encode("utf-8")


# Argument kinds: "s" text, "i" 32-bit int, "f" float, "O" the push-to-talk
# list (the one object argument).
VALID = {"s": CHANNEL, "i": 1, "f": 0.5, "O": [("ptt", 17)]}

MiB = 1 << 20


def hostile_values():
    """(label, value, kinds that accept it).  Accepted values must give the
    method's defined result; all others must be rejected."""
    return [
        ("None", None, ""),
        ("bytes", b"bytes-text", "" if PY3 else "s"),
        ("float", 1.5, "f"),
        ("int", 7, "if"),
        ("bool", True, "if"),
        ("2**31", 2 ** 31, "f"),
        ("2**40", 2 ** 40, "f"),
        ("-2**63-1", -2 ** 63 - 1, "f"),
        ("10**400", 10 ** 400, ""),
        ("exploding number", Exploding(), ""),
        ("list", [], "O"),
        ("embedded NUL", text(u"ch\0an"), ""),
        ("1 MiB text", "x" * MiB, "s"),
        ("non-ASCII text", text(u"Gr\u00fc\u00dfe \u2603"), "s"),
        # Bytes that are not UTF-8, as they reach Python from the SDK.
        ("non-UTF-8 text", u"\udcff\udcfe-x" if PY3 else b"\xff\xfe-x", "s"),
        # Not an escaped byte: cannot be encoded (Python 2 encodes it).
        ("lone surrogate", u"\ud800", "" if PY3 else "s"),
        ("unicode NUL", u"a\0", ""),
    ]


def any_arguments_to(kind):
    """(name, arguments) for every method of `kind`: no arguments, each
    hostile value alone, and all of them at once."""
    values = [value for _, value, _ in hostile_values()]
    for name, method_kind, _, _ in SIGNATURES:
        if method_kind == kind:
            for arguments in [()] + [(value,) for value in values] + [tuple(values)]:
                yield name, arguments


def push_to_talk_values():
    """Hostile values for the key-binding list; each is rejected."""
    shrinking = []

    class Shrinks(object):
        def __index__(self):
            del shrinking[:]
            return 5

        __int__ = __index__

    shrinking.extend([("a", Shrinks()), ("b", 2), ("c", 3)])
    return [
        ("tuple, not list", (("a", 1),)),
        ("entry not a tuple", ["ab"]),
        ("entry too short", [("a",)]),
        ("entry too long", [("a", 1, 2)]),
        ("name None", [(None, 1)]),
        ("code None", [("a", None)]),
        ("name with NUL", [(text(u"a\0"), 1)]),
        ("code 2**40", [("a", 2 ** 40)]),
        ("exploding code", [("a", Exploding())]),
        ("bad third entry", [("a", 1), ("b", 2), ("c", "3")]),
        ("eleven entries", [("k", n) for n in range(11)]),
        ("list shrinks while parsed", shrinking),
    ]


def forget_exception():
    """Python 2 keeps the last exception, and its frames, until the function
    returns: they would hold references to the arguments."""
    if not PY3:
        sys.exc_clear()


def settled(timeout=5.0):
    """Waits until no request is left unissued (InitializeEx issues from a
    thread of its own); False on time-out."""
    deadline = time.time() + timeout
    while voicesdk.live()["requests"]:
        if time.time() > deadline:
            return False
        time.sleep(0.001)
    return True


REJECTIONS = (TypeError, ValueError, OverflowError, UnicodeError, ExplodingError)


def signature(name):
    for entry in SIGNATURES:
        if entry[0] == name:
            return entry
    raise KeyError(name)


def valid_arguments(kinds):
    return [VALID[kind] for kind in kinds]


def arity_cases(kind, kinds, required):
    """(label, args, kwargs) calls with a wrong number of arguments."""
    if kind == NOARGS:
        return [("one argument", (1,), {}), ("keyword", (), {"x": 1})]
    if kind in (ANYTHING, RETIRED):
        return [("keyword", (), {"x": 1})]
    full = valid_arguments(kinds)
    cases = [("one too many", tuple(full + [1]), {}), ("keyword", tuple(full), {"x": 1})]
    if required:
        cases.append(("one too few", tuple(full[:required - 1]), {}))
    if kinds == "sfffffff":
        cases.append(("a name and six numbers", tuple(full[:-1]), {}))
        cases.append(("a name alone", tuple(full[:1]), {}))
    return cases


def slot_cases(kinds, required, values):
    """(label, args, position, kind, accepted): one hostile value per call,
    the arguments before it valid, and after it as many as the call needs."""
    for position, kind in enumerate(kinds):
        for label, value, accepting in values:
            arguments = valid_arguments(kinds)
            arguments[position] = value
            if kinds != "sfffffff":
                arguments = arguments[:max(position + 1, required)]
            yield label, tuple(arguments), position, kind, kind in accepting


class BadInputMatrixTest(JoinedConnectorTest):
    """Each hostile call is made on a joined connector, where the same call
    with good arguments would issue a request."""

    def setUp(self):
        JoinedConnectorTest.setUp(self)
        self.failures = []
        self.tried = 0

    def call(self, name, args, kwargs):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return getattr(self.connector, name)(*args, **kwargs)

    def expect_rejected(self, name, label, args, kwargs, allowed=REJECTIONS):
        """The call raises `allowed` and leaves no trace."""
        self.tried += 1
        before, cookies_before = observe(self.connector)
        counts = [sys.getrefcount(value) for value in args if value is not None]
        try:
            result = self.call(name, args, kwargs)
        except allowed:
            forget_exception()
        except Exception as error:  # noqa: B902 - any other type is the finding
            self.failures.append("%s(%s): %s %r" % (name, label, type(error).__name__, error))
            return
        else:
            self.failures.append("%s(%s): accepted, returned %r" % (name, label, result))
            return
        # None's count moves with every frame and exception; the reference
        # tests watch it over many calls instead.
        if [sys.getrefcount(value) for value in args if value is not None] != counts:
            self.failures.append("%s(%s): argument references changed" % (name, label))
        issued = voicesdk.requests()
        if issued or voicesdk.live()["requests"]:
            self.failures.append("%s(%s): issued %r, live %r" % (name, label, issued, voicesdk.live()))
        after, cookies_after = observe(self.connector)
        if after != before:
            self.failures.append("%s(%s): state changed" % (name, label))
        if cookies_after[0] != cookies_before[-1] + 1:
            self.failures.append("%s(%s): took a cookie" % (name, label))

    def assertNoFailures(self):
        self.assertEqual(self.failures, [], "\n".join(self.failures))
        sys.stderr.write("[%d hostile calls] " % self.tried)

    def test_public_methods_are_the_matrix(self):
        own = sorted(name for name in vars(_talkwire.Connector) if not name.startswith("__"))
        self.assertEqual(own, sorted(entry[0] for entry in SIGNATURES))
        self.assertEqual(len(SIGNATURES), 48)

    def test_wrong_arity_is_rejected(self):
        for name, kind, format, required in SIGNATURES:
            for label, args, kwargs in arity_cases(kind, letters(format), required):
                self.expect_rejected(name, label, args, kwargs, allowed=(TypeError,))
        self.assertNoFailures()

    def test_hostile_values_are_rejected(self):
        values = hostile_values()
        for name, kind, format, required in SIGNATURES:
            if kind in (ANYTHING, RETIRED):
                continue
            if kind == NOARGS:
                for label, value, _ in values:
                    self.expect_rejected(name, label, (value,), {}, allowed=(TypeError,))
                continue
            for label, args, position, slot, accepted in slot_cases(letters(format), required, values):
                if accepted:
                    continue
                # Anything but a list is the interpreter's bad internal call.
                allowed = REJECTIONS + (SystemError,) if slot == "O" else REJECTIONS
                self.expect_rejected(name, "%s at %d" % (label, position + 1), args, {}, allowed)
        self.assertNoFailures()

    def test_hostile_key_bindings_are_rejected(self):
        for label, value in push_to_talk_values():
            allowed = REJECTIONS + (SystemError, IndexError)
            self.expect_rejected("EnableGlobalPushToTalkMode", label, (value,), {}, allowed)
        self.assertNoFailures()

    def test_entries_without_parsing_take_anything(self):
        for name, arguments in any_arguments_to(ANYTHING):
            self.tried += 1
            self.assertIsNone(self.call(name, arguments, {}))
        self.assertEqual(voicesdk.requests(), [])
        self.assertNoFailures()

    def test_retired_methods_raise_whatever_they_are_given(self):
        for name, arguments in any_arguments_to(RETIRED):
            self.tried += 1
            with self.assertRaises(OSError) as caught:
                self.call(name, arguments, {})
            self.assertEqual(caught.exception.errno, -2147467263)
            forget_exception()
        self.assertEqual(voicesdk.requests(), [])
        self.assertNoFailures()

    def test_accepted_values_give_defined_results(self):
        """Text the parser takes reaches the SDK byte for byte; numbers the
        parser takes give a result or one of the module's own errors."""
        values = hostile_values()
        for name, kind, format, required in SIGNATURES:
            if kind:
                continue
            for label, args, position, slot, accepted in slot_cases(letters(format), required, values):
                if not accepted:
                    continue
                self.tried += 1
                self.fresh_joined()
                value = args[position]
                try:
                    self.call(name, args, {})
                except OSError:
                    # One of the module's own errors: nothing was issued.
                    if voicesdk.requests() and name != "InitializeEx":
                        self.failures.append("%s(%s): raised after issuing" % (name, label))
                except Exception as error:  # noqa: B902
                    self.failures.append("%s(%s): %s %r" % (name, label, type(error).__name__, error))
                    continue
                if slot == "s":
                    self.check_text_arrived(name, label, value)
                self.assertTrue(voicesdk.flush(5.0))
                if not settled():
                    self.failures.append("%s(%s): left a request unreleased" % (name, label))
        self.assertNoFailures()

    def check_text_arrived(self, name, label, value):
        expected = value.encode("utf-8", "surrogateescape") if PY3 else value
        if isinstance(expected, type(u"")):
            expected = expected.encode("utf-8")
        deadline = time.time() + 5.0
        while True:
            issued = voicesdk.requests()
            # InitializeEx issues from a thread of its own.
            if issued or name != "InitializeEx" or time.time() > deadline:
                break
            time.sleep(0.001)
        for request in issued:
            for _, field in request["fields"]:
                if isinstance(field, (str, type(u""))):
                    raw = field.encode("utf-8", "surrogateescape") if PY3 else field
                    if expected in raw:
                        return
        if issued:
            self.failures.append("%s(%s): text did not reach the SDK unchanged" % (name, label))


if __name__ == "__main__":
    unittest.main()
