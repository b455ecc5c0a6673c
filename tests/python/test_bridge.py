"""The bridge from the SDK thread to the connector's thread: Run, delivery
to every connector's window, and release of every message on every road."""
import gc
import threading
import unittest

import _talkwire
import voicesdk

from support import OTHER_EVENT, ConnectorTest, RecordingListener, needs_platform_faults, pump


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
        voicesdk.message(7)
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
            voicesdk.message(9)
        self.assertTrue(voicesdk.flush(5.0))
        self.connector = None
        gc.collect()
        self.assertEqual(voicesdk.live()["events"], 0)

    @needs_platform_faults
    def test_post_failure_releases_the_message(self):
        voicesdk.fault("post_message", count=1)
        voicesdk.message(9)
        voicesdk.message(9)
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


class TwoConnectorsTest(ConnectorTest):
    def test_each_connector_has_its_own_window_and_receives(self):
        second_listener = RecordingListener()
        second = _talkwire.Connector(second_listener)
        self.assertEqual(voicesdk.handlers(), 2)
        # The first registered handler takes what the SDK delivers.
        voicesdk.event(OTHER_EVENT)
        pump(second)
        self.assertEqual(self.listener.of("OnConnectorEvent"), [(3, 0, 0)])
        # Once the first is gone, the second's window receives.
        self.connector = None
        gc.collect()
        voicesdk.event(OTHER_EVENT)
        pump(second)
        self.assertEqual(second_listener.of("OnConnectorEvent"), [(3, 0, 0)])
        # Both answer synchronous calls: the hand-off does not need a window.
        voicesdk.answer("aux_get_mic_level", level=25)
        self.assertEqual(second.GetMicrophoneVolume(), 8000)
        pump(second)
        del second


if __name__ == "__main__":
    unittest.main()
