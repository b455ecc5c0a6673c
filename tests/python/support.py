"""Shared harness for the Python tests: a recording listener, a pump, and a
test case that checks nothing leaked."""
from __future__ import print_function

import gc
import sys
import time
import unittest
import weakref

import _talkwire
import voicesdk
from talkwire.constants import E_FAIL, E_INVALIDARG, E_NOTIMPL  # noqa: F401 (for the tests)

PY3 = sys.version_info[0] >= 3

# An event type the SDK does not have: the module hands it to OnConnectorEvent.
OTHER_EVENT = 3
# More such types, for tests that tell several apart by their type.
OTHER_EVENTS = (OTHER_EVENT, 7, 8, 9, 10, 12, 13)
# A message type that is neither a response nor an event.
OTHER_MESSAGE = 9

# voicesdk.fault() makes platform calls fail only where the platform layer
# is ours; Windows has the real calls.
needs_platform_faults = unittest.skipUnless(voicesdk.PLATFORM_FAULTS, "no platform faults on Windows")


class RecordingListener(object):
    """Records every callback as (name, args); any method name works."""

    def __init__(self):
        self.calls = []

    def __getattr__(self, name):
        if not (name.startswith("On") or name.startswith("Failed")):
            raise AttributeError(name)

        def record(*args):
            self.calls.append((name,) + args)

        return record

    def names(self):
        return [call[0] for call in self.calls]

    def of(self, name):
        return [call[1:] for call in self.calls if call[0] == name]

    def clear(self):
        del self.calls[:]


class Unraisables(object):
    """Collects what reaches the unraisable-exception hook (3.8+); on older
    interpreters the hook writes to stderr and only the count is lost.
    keep=False only silences them: a kept exception keeps its frames, and
    their locals, alive, which reference-count checks would see."""

    def __init__(self, keep=True):
        self.seen = []
        self._keep = keep
        self._saved = None

    def _note(self, report):
        if self._keep:
            self.seen.append(report)

    def __enter__(self):
        if hasattr(sys, "unraisablehook"):
            self._saved = sys.unraisablehook
            sys.unraisablehook = lambda info: self._note(info.exc_value)
        else:
            self._saved = sys.stderr
            sys.stderr = _Sink(self._note)
        return self

    def __exit__(self, *exc):
        if hasattr(sys, "unraisablehook"):
            sys.unraisablehook = self._saved
        else:
            sys.stderr = self._saved
        return False


class _Sink(object):
    def __init__(self, note):
        self.note = note

    def write(self, text):
        # One "Exception ignored in ..." line starts each report.
        if "ignored" in text:
            self.note(text)

    def flush(self):
        pass


def settle_request_threads(timeout=5.0):
    """InitializeEx issues its request from a thread nobody waits for: give
    such threads time to hand their requests over before counting."""
    deadline = time.time() + timeout
    while voicesdk.live()["requests"] and time.time() < deadline:
        time.sleep(0.001)


def pump(connector):
    """Delivers everything queued in the SDK and dispatches it."""
    assert voicesdk.flush(5.0), "the SDK did not deliver its queue"
    voicesdk.post_quit()
    connector.Run()


class _Cycle(object):
    def __init__(self):
        self.cycle = self


class _FinalizedCycle(_Cycle):
    def __init__(self, action):
        _Cycle.__init__(self)
        self.action = action

    def __del__(self):
        self.action()


_watching = set()  # weak references must outlive their cycles to call back


def finalizing_garbage(action, count=2):
    """Leaves `count` unreachable cycles whose collection calls `action`:
    from a finalizer on Python 3, from a weak reference's callback on 2.7
    (which keeps cycles with finalizers uncollected).  With a low collection
    threshold, the next allocations collect them, wherever they happen."""

    def collected(ref):
        _watching.discard(ref)
        action()

    # Made whole before any of it is collected.
    enabled = gc.isenabled()
    gc.disable()
    try:
        for _ in range(count):
            if PY3:
                _FinalizedCycle(action)
            else:
                _watching.add(weakref.ref(_Cycle(), collected))
    finally:
        if enabled:
            gc.enable()


class CollectEagerly(object):
    """Runs the block with a collection after nearly every allocation."""

    def __enter__(self):
        self._saved = gc.get_threshold()
        gc.set_threshold(1)
        return self

    def __exit__(self, *exc):
        gc.set_threshold(*self._saved)
        gc.collect()
        return False


def fields(request):
    return dict(request["fields"])


def assert_nothing_left(test, flush_timeout=5.0):
    """Once the connectors are gone: every record released, no handler left
    registered.  Resets the stand-in either way."""
    gc.collect()
    voicesdk.flush(flush_timeout)
    settle_request_threads()
    live = voicesdk.live()
    voicesdk.reset()
    test.assertEqual(live, {"requests": 0, "responses": 0, "events": 0})
    test.assertEqual(voicesdk.handlers(), 0)


class ConnectorTest(unittest.TestCase):
    """Resets the SDK stand-in before each test and checks afterwards that
    every record was released once the connectors are gone."""

    def setUp(self):
        voicesdk.reset()
        self.listener = RecordingListener()
        self.connector = _talkwire.Connector(self.listener)

    def tearDown(self):
        self.connector = None
        assert_nothing_left(self)

    def requests(self, kind=None):
        return [r for r in voicesdk.requests() if kind is None or r["kind"] == kind]

    def last_request(self, kind=None):
        found = self.requests(kind)
        self.assertTrue(found, "no %s request was issued" % (kind or "any"))
        return found[-1]

    def pump(self):
        pump(self.connector)

    def assertWindowsError(self, code, message, function, *args):
        with self.assertRaises(OSError) as caught:
            function(*args)
        error = caught.exception
        self.assertEqual(error.args[0], code)
        self.assertEqual(error.errno, code)
        self.assertEqual(error.filename, message)
        # Never an errno subclass: a Windows code of 2 is no FileNotFoundError.
        self.assertIs(type(error), WINDOWS_ERROR)
        return error


try:
    WINDOWS_ERROR = WindowsError  # noqa: F821 (Windows only)
except NameError:
    WINDOWS_ERROR = OSError
