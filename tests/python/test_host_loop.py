"""The pump a host calls from its own loop, and the quit handle: the same
callbacks in the same order as Run, re-entry as a nested Run, a quit left
for Run, and quits from other threads."""
import select
import sys
import threading
import time
import unittest

import _talkwire
import talkwire
import voicesdk

from loop_support import play_session
from service_support import ServiceTest, TimedListener
from support import OTHER_EVENT, OTHER_EVENTS, ConnectorTest, RecordingListener


class PumpTest(ConnectorTest):
    def test_nothing_waiting_returns_zero_at_once(self):
        started = time.time()
        for _ in range(1000):
            self.assertEqual(talkwire.pump(), 0)
            self.assertEqual(talkwire.pump(0), 0)
        self.assertLess(time.time() - started, 2.0)

    def test_bad_timeouts(self):
        for timeout in (-1, -0.001, float("nan")):
            self.assertRaises(ValueError, talkwire.pump, timeout)
        self.assertRaises(TypeError, talkwire.pump, "1")
        self.assertRaises(TypeError, talkwire.pump, 0, 0)

    def test_dispatches_what_is_queued_and_counts_window_messages(self):
        for event_type in OTHER_EVENTS[:3]:
            voicesdk.event(event_type)
        self.assertTrue(voicesdk.flush(5.0))
        dispatched = talkwire.pump()
        # One wake-up carries what the mailbox held.
        self.assertGreaterEqual(dispatched, 1)
        self.assertEqual(self.listener.of("OnConnectorEvent"), [(t, 0, 0) for t in OTHER_EVENTS[:3]])
        self.assertEqual(talkwire.pump(), 0)

    def test_callback_that_pumps_is_handled_as_a_nested_run(self):
        def nested_run():
            voicesdk.post_quit()
            self.connector.Run()

        self.assertEqual(self.reentrant_order(nested_run), self.reentrant_order(talkwire.pump))

    def reentrant_order(self, pump_inside):
        """The callbacks of five queued events when the first one's callback
        has two more delivered and pumps (event types the connector has no
        handling for)."""
        order = []
        depth = [0]

        class Listener(object):
            def OnConnectorEvent(inner, event_type, *unused):
                order.append((event_type, depth[0]))
                if event_type == OTHER_EVENT:
                    voicesdk.event(OTHER_EVENTS[5])
                    voicesdk.event(OTHER_EVENTS[6])
                    self.assertTrue(voicesdk.flush(5.0))
                    depth[0] += 1
                    pump_inside()
                    depth[0] -= 1

        self.connector = None  # one connector registered, or it takes the messages
        self.connector = _talkwire.Connector(Listener())
        for event_type in OTHER_EVENTS[:5]:
            voicesdk.event(event_type)
        self.assertTrue(voicesdk.flush(5.0))
        talkwire.pump()
        self.connector = None
        self.assertEqual(sorted(order)[-1], (OTHER_EVENTS[6], 1))
        return order

    def test_quit_is_left_for_run(self):
        voicesdk.event(OTHER_EVENTS[0])
        self.assertTrue(voicesdk.flush(5.0))
        talkwire.QuitHandle().quit()
        voicesdk.event(OTHER_EVENTS[1])
        self.assertTrue(voicesdk.flush(5.0))
        self.assertEqual(talkwire.pump(), 1)
        # The quit stays pending: it does not hold back what came after it.
        voicesdk.event(OTHER_EVENTS[2])
        self.assertTrue(voicesdk.flush(5.0))
        talkwire.pump()
        self.assertEqual(self.listener.of("OnConnectorEvent"), [(t, 0, 0) for t in OTHER_EVENTS[:3]])
        self.connector.Run()  # ends at once on the quit
        self.assertEqual(len(self.listener.calls), 3)


@unittest.skipIf(sys.platform == "win32", "no wake-up descriptor on Windows")
class WakeupDescriptorTest(ConnectorTest):
    def readable(self, fd, timeout=0):
        return select.select([fd], [], [], timeout)[0] == [fd]

    def test_readable_while_messages_wait_and_cleared_by_the_pump(self):
        fd = talkwire.wakeup_fd()
        self.assertEqual(talkwire.wakeup_fd(), fd)
        self.assertFalse(self.readable(fd))
        voicesdk.event(OTHER_EVENT)  # the SDK's thread posts the wake-up
        self.assertTrue(self.readable(fd, timeout=10.0))
        self.assertTrue(self.readable(fd), "waiting cleared it")
        self.assertEqual(talkwire.pump(), 1)
        self.assertFalse(self.readable(fd))
        self.assertEqual(self.listener.of("OnConnectorEvent"), [(OTHER_EVENT, 0, 0)])

    def test_each_thread_has_its_own(self):
        fd = talkwire.wakeup_fd()
        theirs = []
        worker = threading.Thread(target=lambda: theirs.append(talkwire.wakeup_fd()))
        worker.start()
        worker.join()
        self.assertNotEqual(theirs[0], fd)
        # A quit is waiting too: the pump leaves it to Run.
        talkwire.QuitHandle().quit()
        self.assertTrue(self.readable(fd))
        self.assertEqual(talkwire.pump(), 0)
        self.assertTrue(self.readable(fd))
        self.connector.Run()
        self.assertFalse(self.readable(fd))


class SameOrderAsRunTest(ServiceTest):
    def test_a_whole_session_pumped_calls_what_run_calls(self):
        def run():
            voicesdk.post_quit()
            self.connector.Run()

        by_run = self.session(run)
        by_pump = self.session(talkwire.pump)
        self.assertIn(("OnJoinedChannel", "squad"), by_pump)
        self.assertEqual(by_pump, by_run)

    def session(self, dispatch):
        listener = RecordingListener()
        self.connector = _talkwire.Connector(listener)
        play_session(self.connector, listener, dispatch)
        self.connector = None
        return listener.calls


class QuitHandleTest(ConnectorTest):
    def test_quit_from_another_thread_ends_run(self):
        handle = talkwire.QuitHandle()
        self.assertEqual(handle.thread_id, voicesdk.thread_id())
        quitter = threading.Thread(target=handle.quit)
        voicesdk.event(OTHER_EVENT)
        self.assertTrue(voicesdk.flush(5.0))  # its wake-up is queued before the quit
        quitter.start()
        quitter.join()
        self.connector.Run()
        self.assertEqual(self.listener.of("OnConnectorEvent"), [(OTHER_EVENT, 0, 0)])

    def test_quit_from_a_callback_ends_run_after_what_was_queued(self):
        handle = talkwire.QuitHandle()
        listener = self.listener

        class Quitting(object):
            def OnConnectorEvent(inner, event_type, *unused):
                listener.calls.append(event_type)
                if event_type == OTHER_EVENT:
                    self.assertIs(handle.quit(), True)

        self.connector = None
        self.connector = _talkwire.Connector(Quitting())
        for event_type in OTHER_EVENTS[:2]:
            voicesdk.event(event_type)
        self.assertTrue(voicesdk.flush(5.0))
        self.connector.Run()
        self.assertEqual(listener.calls, list(OTHER_EVENTS[:2]))

    def test_each_quit_ends_one_run(self):
        handle = talkwire.QuitHandle()
        self.assertTrue(handle.quit())
        self.assertTrue(handle.quit())
        self.connector.Run()
        self.connector.Run()

    def test_handle_of_an_ended_thread_refuses(self):
        handles = []
        worker = threading.Thread(target=lambda: handles.append(talkwire.QuitHandle()))
        worker.start()
        worker.join()
        # The platform lets go of the thread just after Python's join returns.
        deadline = time.time() + 10.0
        while handles[0].quit():
            self.assertLess(time.time(), deadline, "the ended thread still takes quits")
            time.sleep(0.01)
        self.assertNotEqual(handles[0].thread_id, voicesdk.thread_id())

    def test_handle_of_another_thread_ends_that_threads_run(self):
        ready = threading.Event()
        handles, heard = [], []

        def game_thread():
            listener = RecordingListener()
            connector = _talkwire.Connector(listener)
            handles.append(talkwire.QuitHandle())
            ready.set()
            connector.Run()
            heard.extend(listener.calls)

        worker = threading.Thread(target=game_thread)
        worker.start()
        self.assertTrue(ready.wait(10.0))
        self.assertTrue(handles[0].quit())
        worker.join(10.0)
        self.assertFalse(worker.is_alive())
