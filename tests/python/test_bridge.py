"""The bridge from the SDK thread to the connector's thread: Run, delivery
to every connector's window, and release of every message on every road."""
import ctypes
import gc
import sys
import threading
import unittest

import _talkwire
import voicesdk

from support import OTHER_EVENT, OTHER_MESSAGE, ConnectorTest, RecordingListener, Unraisables, needs_platform_faults, pump


class DroppingListener(object):
    """Drops the last reference to its connector from inside a callback."""

    def __init__(self):
        self.connector = None
        self.calls = 0

    def OnConnectorEvent(self, *args):
        self.calls += 1
        self.connector = None


class RunTest(ConnectorTest):
    def test_run_returns_none_after_quit(self):
        voicesdk.post_quit()
        self.assertIsNone(self.connector.Run())

    def test_messages_of_other_types_are_released(self):
        voicesdk.message(OTHER_MESSAGE)
        self.pump()
        self.assertEqual(voicesdk.live()["events"], 0)

    def test_other_threads_run_while_run_waits(self):
        ticks = []

        def worker():
            for _ in range(50):
                ticks.append(1)
            voicesdk.post_quit(main_thread_id)

        main_thread_id = voicesdk.thread_id()
        thread = threading.Thread(target=worker)
        thread.start()
        self.connector.Run()
        thread.join()
        self.assertEqual(len(ticks), 50)

    def test_queued_messages_released_when_connector_goes(self):
        for _ in range(5):
            voicesdk.message(OTHER_MESSAGE)
        self.assertTrue(voicesdk.flush(5.0))
        self.connector = None
        gc.collect()
        self.assertEqual(voicesdk.live()["events"], 0)

    @needs_platform_faults
    def test_post_failure_releases_the_message(self):
        voicesdk.fault("post_message", count=1)
        voicesdk.message(OTHER_MESSAGE)
        voicesdk.message(OTHER_MESSAGE)
        self.pump()
        self.assertEqual(voicesdk.live()["events"], 0)

    def test_listener_may_drop_its_connector(self):
        listener = DroppingListener()
        listener.connector = _talkwire.Connector(listener)
        self.connector = None
        voicesdk.event(OTHER_EVENT)
        voicesdk.event(OTHER_EVENT)
        self.assertTrue(voicesdk.flush(5.0))
        voicesdk.post_quit()
        _talkwire.Connector.Run(listener.connector)
        gc.collect()
        self.assertIsNone(listener.connector)
        self.assertGreaterEqual(listener.calls, 1)
        self.assertEqual(voicesdk.live()["events"], 0)


class Stopping(object):
    """Raises what `stops` names for an event type, after recording it."""

    def __init__(self, stops):
        self.stops = stops
        self.heard = []

    def OnConnectorEvent(self, event_type, a, b):
        self.heard.append(event_type)
        stop = self.stops.get(event_type)
        if stop:
            raise stop()


def host_message_loop():
    """The platform's own GetMessage/DispatchMessage calls, made from Python
    with the interpreter lock held, as a host's message loop would: no pump
    of the module's runs.  None where the platform library is not at hand.
    Elsewhere than on Windows the calls are found through the module, which
    links the platform library: opening that library again by name makes
    the dynamic loader lose track of some of its own memory."""
    try:
        platform = ctypes.PyDLL("user32" if sys.platform == "win32" else _talkwire.__file__)
        platform.GetMessageA
    except (OSError, AttributeError):
        return None

    class MSG(ctypes.Structure):
        _fields_ = [("hwnd", ctypes.c_void_p), ("message", ctypes.c_uint), ("wParam", ctypes.c_size_t),
                    ("lParam", ctypes.c_ssize_t), ("time", ctypes.c_uint32), ("pt", ctypes.c_int * 2)]

    def loop():
        message = MSG()
        while platform.GetMessageA(ctypes.byref(message), None, 0, 0) > 0:
            platform.TranslateMessage(ctypes.byref(message))
            platform.DispatchMessageA(ctypes.byref(message))

    return loop


class PumpExitTest(ConnectorTest):
    """KeyboardInterrupt and SystemExit from a callback end the pump that
    dispatched it; the messages after it wait for the next pump."""

    def setUp(self):
        ConnectorTest.setUp(self)
        self.listener = Stopping({33: lambda: SystemExit(3), 34: KeyboardInterrupt, 35: ValueError})
        self.connector = _talkwire.Connector(self.listener)

    def queue(self, *event_types):
        for event_type in event_types:
            voicesdk.event(event_type)
        self.assertTrue(voicesdk.flush(5.0))

    def test_run_raises_them_and_the_rest_stays_queued(self):
        self.queue(40, 33, 41, 34, 42, 35, 43)
        voicesdk.post_quit()
        with self.assertRaises(SystemExit) as caught:
            self.connector.Run()
        self.assertEqual(caught.exception.code, 3)
        self.assertEqual(self.listener.heard, [40, 33])
        self.assertEqual(voicesdk.live()["events"], 5)  # the stopping one was released
        # The quit posted before is still the thread's.
        with self.assertRaises(KeyboardInterrupt):
            self.connector.Run()
        self.assertEqual(self.listener.heard, [40, 33, 41, 34])
        # Any other error is reported, and the pump goes on.
        with Unraisables() as reports:
            self.connector.Run()
        self.assertEqual(self.listener.heard, [40, 33, 41, 34, 42, 35, 43])
        self.assertEqual(voicesdk.live()["events"], 0)
        if hasattr(sys, "unraisablehook"):
            self.assertEqual([type(error) for error in reports.seen], [ValueError])
        # The connector works on as before.
        self.queue(44)
        self.pump()
        self.assertEqual(self.listener.heard[-1], 44)

    def nest(self, then):
        """Event 50's callback queues `then` and pumps again inside itself;
        returns what that pump raised, if it raised."""
        raised = []

        def callback(event_type, a, b):
            if event_type != 50:
                return Stopping.OnConnectorEvent(self.listener, event_type, a, b)
            self.listener.heard.append(event_type)
            self.queue(*then)
            voicesdk.post_quit()
            try:
                self.connector.Run()
            except BaseException as error:
                raised.append(type(error))
                if self.let_through:
                    raise
            else:
                voicesdk.post_quit()  # the nested pump used up the outer one's quit

        self.listener.OnConnectorEvent = callback
        self.queue(50)
        return raised

    def test_nested_pump_raises_into_the_callback_that_ran_it(self):
        self.let_through = False
        raised = self.nest([34, 40])
        self.pump()
        self.assertEqual(raised, [KeyboardInterrupt])
        # The outer pump went on with the rest of the list.
        self.assertEqual(self.listener.heard, [50, 34, 40])

    def test_callback_that_lets_a_nested_pumps_exit_through_ends_the_outer_pump(self):
        self.let_through = True
        raised = self.nest([33, 41])
        voicesdk.post_quit()
        with self.assertRaises(SystemExit):
            self.connector.Run()
        self.assertEqual(raised, [SystemExit])
        self.assertEqual(self.listener.heard, [50, 33])
        self.pump()
        self.assertEqual(self.listener.heard, [50, 33, 41])

    def test_host_loop_reports_them_as_unraisable(self):
        loop = host_message_loop()
        if loop is None:
            self.skipTest("no platform library for a host loop")
        self.queue(33, 40, 34, 41)
        voicesdk.post_quit()
        with Unraisables() as reports:
            loop()
        self.assertEqual(self.listener.heard, [33, 40, 34, 41])
        if hasattr(sys, "unraisablehook"):
            self.assertEqual([type(error) for error in reports.seen], [SystemExit, KeyboardInterrupt])


class TwoConnectorsTest(ConnectorTest):
    def test_each_connector_has_its_own_window_and_receives(self):
        second_listener = RecordingListener()
        second = _talkwire.Connector(second_listener)
        self.assertEqual(voicesdk.handlers(), 2)
        # The first registered handler takes what the SDK delivers.
        voicesdk.event(OTHER_EVENT)
        pump(second)
        self.assertEqual(self.listener.of("OnConnectorEvent"), [(OTHER_EVENT, 0, 0)])
        # Once the first is gone, the second's window receives.
        self.connector = None
        gc.collect()
        voicesdk.event(OTHER_EVENT)
        pump(second)
        self.assertEqual(second_listener.of("OnConnectorEvent"), [(OTHER_EVENT, 0, 0)])
        # Both answer synchronous calls: the hand-off does not need a window.
        voicesdk.answer("aux_get_mic_level", level=25)
        self.assertEqual(second.GetMicrophoneVolume(), 8000)
        pump(second)
        del second


if __name__ == "__main__":
    unittest.main()
