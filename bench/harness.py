"""What the benchmarks share: finding the built modules, a logged-in
connector with joined channels in the scripted stand-in, timers, and the
process's memory figures.  Runs on Python 2.7 and 3.x."""
from __future__ import division, print_function

import gc
import os
import sys
import timeit

try:
    range = xrange  # noqa: F821 (Python 2)
except NameError:
    pass

timer = getattr(__import__("time"), "perf_counter", timeit.default_timer)

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def module_tag():
    """The folder under a build's python/ that holds this interpreter's modules."""
    return "py%d%d" % sys.version_info[:2]


def find_modules(build_dir):
    """Puts the modules built for this interpreter on sys.path."""
    modules = os.path.join(os.path.abspath(build_dir), "python", module_tag())
    if not os.path.isdir(modules):
        sys.exit("no modules for Python %d.%d under %s (build with scripts/bench.sh)"
                 % (sys.version_info[0], sys.version_info[1], build_dir))
    sys.path[:0] = [modules, os.path.join(ROOT, "python")]


class Quiet(object):
    """Timed sections run without the cyclic collector; every contender
    alike."""

    def __enter__(self):
        gc.collect()
        self.enabled = gc.isenabled()
        gc.disable()
        return self

    def __exit__(self, *exc):
        if self.enabled:
            gc.enable()
        return False


def uri_of(name):
    return "sip:" + name + "@voice.example"


class Session(object):
    """A connector logged in on the scripted stand-in.  `listener` receives
    the callbacks; channels are joined and connected through the same
    requests and answers the product sees from the real SDK."""

    def __init__(self, listener):
        import _talkwire
        import voicesdk
        self.sdk = voicesdk
        voicesdk.reset()
        voicesdk.answer("sessiongroup_create", session_group_handle="group-1")
        self.listener = listener
        self.connector = _talkwire.Connector(listener)
        voicesdk.respond_to(1, "connector_create", {}, connector_handle="conn-1")
        voicesdk.respond_to(3, "account_login", {}, account_handle="acct-1")
        self.pump()
        voicesdk.clear_requests()

    def pump(self):
        """Delivers what the stand-in holds and dispatches it."""
        if not self.sdk.flush(30.0):
            raise RuntimeError("the stand-in did not deliver its queue")
        self.sdk.post_quit()
        self.connector.Run()

    def join(self, names, handle_of):
        """Joins `names` and takes them all to Connected; the first one is
        placed alone and the others once it connects, as the product does."""
        sdk = self.sdk
        for name in names:
            self.connector.JoinChannelEx(name)
        for name in names:
            sdk.respond_to(34, "account_channel_create", {"channel_name": name}, channel_uri=uri_of(name))
        self.pump()
        self.connect(names[:1], handle_of)
        self.connect(names[1:], handle_of)
        sdk.clear_requests()

    def connect(self, names, handle_of):
        sdk = self.sdk
        for name in names:
            sdk.respond_to(8, "sessiongroup_add_session", {"channel_name": name, "channel_uri": uri_of(name)},
                           session_handle=handle_of(name))
            sdk.event(20, session_handle=handle_of(name), media_state=2)
        self.pump()

    def leave(self, names, handle_of):
        """Leaves connected channels and reports their sessions gone."""
        for name in names:
            self.connector.LeaveChannel(name)
        for name in names:
            self.sdk.event(20, session_handle=handle_of(name), media_state=1)
        self.pump()
        self.sdk.clear_requests()

    def add_participants(self, handle, uris):
        for uri in uris:
            self.sdk.event(26, session_handle=handle, participant_uri=uri, participant_type=0)
        self.pump()

    def close(self):
        self.connector = None
        gc.collect()
        self.sdk.flush(30.0)
        self.sdk.reset()


def resident_bytes():
    """Resident set size of this process (Linux), or None."""
    try:
        with open("/proc/self/statm") as statm:
            return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
    except (IOError, OSError, ValueError):
        return None


class _Heap(object):
    """Bytes the C allocator has handed out and not had back (glibc's
    mallinfo2): what the C++ records cost, without the interpreter's own
    small-object arenas."""

    def __init__(self):
        self.read = None
        try:
            import ctypes
            libc = ctypes.CDLL(None)
            fields = [(name, ctypes.c_size_t) for name in (
                "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks",
                "fordblks", "keepcost")]

            class MallInfo2(ctypes.Structure):
                _fields_ = fields

            mallinfo2 = libc.mallinfo2
            mallinfo2.restype = MallInfo2
            self.read = lambda: (lambda info: info.uordblks + info.hblkhd)(mallinfo2())
        except (ImportError, OSError, AttributeError):
            pass

    def __call__(self):
        return self.read() if self.read else None


heap_bytes = _Heap()


def median(values):
    ordered = sorted(values)
    middle = len(ordered) // 2
    if len(ordered) % 2:
        return ordered[middle]
    return (ordered[middle - 1] + ordered[middle]) / 2.0


def percentile(values, fraction):
    ordered = sorted(values)
    index = min(len(ordered) - 1, int(fraction * len(ordered)))
    return ordered[index]


def floor_run(listener, count, uri, channel):
    """Seconds for `count` direct calls of the listener's participant
    callback: the floor the event paths are measured against."""
    method = listener.OnParticipantStateChanged
    with Quiet():
        start = timer()
        for _ in range(count):
            method(uri, channel, 1, 0)
        return timer() - start

