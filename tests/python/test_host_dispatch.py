"""A host's own message loop that calls the platform's PeekMessageA and
DispatchMessageA through ctypes.CDLL, which lets go of the interpreter lock
for each call: the connector's window procedure takes the lock back before
it touches Python, while other Python threads run."""
import ctypes
import sys
import threading
import time
import unittest

import _talkwire
import voicesdk

from support import OTHER_EVENTS, ConnectorTest, RecordingListener


class MSG(ctypes.Structure):
    _fields_ = [("hwnd", ctypes.c_void_p), ("message", ctypes.c_uint), ("wParam", ctypes.c_size_t),
                ("lParam", ctypes.c_ssize_t), ("time", ctypes.c_uint32), ("x", ctypes.c_int32),
                ("y", ctypes.c_int32), ("private", ctypes.c_uint32)]


def platform_calls():
    """PeekMessageA and DispatchMessageA, called without the interpreter lock."""
    if sys.platform == "win32":
        library = ctypes.WinDLL("user32")
    else:
        # Found through _talkwire, which links the platform library: opening
        # that library again by name makes the dynamic loader lose track of
        # some of its own memory (valgrind's run reports it).
        library = ctypes.CDLL(_talkwire.__file__)
    peek, dispatch = library.PeekMessageA, library.DispatchMessageA
    peek.argtypes = [ctypes.POINTER(MSG), ctypes.c_void_p, ctypes.c_uint, ctypes.c_uint, ctypes.c_uint]
    peek.restype = ctypes.c_int
    dispatch.argtypes = [ctypes.POINTER(MSG)]
    dispatch.restype = ctypes.c_ssize_t
    return peek, dispatch


PM_REMOVE = 1
WM_QUIT = 0x12


class HostLoopDispatchTest(ConnectorTest):
    def test_events_dispatched_by_a_lock_free_host_loop(self):
        peek, dispatch = platform_calls()
        count = 300
        listener = RecordingListener()
        self.connector = None
        self.connector = _talkwire.Connector(listener)
        # Another Python thread keeps the interpreter busy meanwhile: a
        # callback run without the lock would race with it.
        stop = threading.Event()
        spins = [0]

        def busy():
            while not stop.is_set():
                spins[0] += 1

        worker = threading.Thread(target=busy)
        worker.start()
        try:
            message = MSG()
            deadline = time.time() + 30.0
            for round_number in range(count):
                voicesdk.event(OTHER_EVENTS[round_number % len(OTHER_EVENTS)])
                if round_number % 10 == 9:
                    voicesdk.flush(5.0)
                    while peek(ctypes.byref(message), None, 0, 0, PM_REMOVE):
                        self.assertNotEqual(message.message, WM_QUIT)
                        dispatch(ctypes.byref(message))
            while len(listener.calls) < count:
                self.assertLess(time.time(), deadline)
                voicesdk.flush(5.0)
                while peek(ctypes.byref(message), None, 0, 0, PM_REMOVE):
                    dispatch(ctypes.byref(message))
        finally:
            stop.set()
            worker.join()
        self.assertEqual(listener.of("OnConnectorEvent"), [(OTHER_EVENTS[i % len(OTHER_EVENTS)], 0, 0) for i in range(count)])


if __name__ == "__main__":
    unittest.main()
