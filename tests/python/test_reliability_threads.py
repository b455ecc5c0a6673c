"""Threads: the SDK thread delivers many thousands of messages while the
owner thread issues requests, makes synchronous calls, creates and destroys
connectors and pumps, and other Python threads run.  Nothing is lost,
nothing leaks.  Run under ThreadSanitizer (label "tsan") and ASan as well
as on every interpreter; TALKWIRE_STRESS_MESSAGES sets the volume."""
import gc
import os
import sys
import threading
import time
import unittest

import _talkwire
import voicesdk

from support import OTHER_EVENT, assert_nothing_left, needs_platform_faults

from reliability_support import answer_synchronous_requests

MESSAGES = int(os.environ.get("TALKWIRE_STRESS_MESSAGES", "20000"))
BURST = 64
CONNECTOR_EVENT = OTHER_EVENT
MIC_EVENT = voicesdk.EVENT_AUX_AUDIO_PROPERTIES


class Counting(object):
    """Counts the callbacks the stress sends; never raises."""

    def __init__(self):
        self.connector_events = 0
        self.mic_events = 0

    def OnConnectorEvent(self, event_type, a, b):
        self.connector_events += 1

    def OnMicrophoneIntensityEvent(self, level, low, high):
        self.mic_events += 1


def produce(total, event_type, **fields):
    """Queues `total` events from the calling thread, in bursts of varying
    size with pauses, so that delivery overlaps the owner thread's work."""
    left = total
    bursts = 0
    while left > 0:
        count = min(1 + (bursts * 37) % BURST, left)
        voicesdk.event_burst(count, event_type, **fields)
        left -= count
        bursts += 1
        time.sleep(0.0002)


def busy_python(stop):
    """Plain interpreter work on another thread."""
    value = 0
    while not stop:
        value = (value * 31 + len([n for n in range(200)])) % 1000003
        time.sleep(0)
    return value


class StressTest(unittest.TestCase):
    def setUp(self):
        voicesdk.reset()
        voicesdk.fault_clear()
        answer_synchronous_requests()

    def tearDown(self):
        assert_nothing_left(self, flush_timeout=10.0)

    def pump(self, connector):
        voicesdk.post_quit()
        connector.Run()

    def start(self, target, *args, **kwargs):
        thread = threading.Thread(target=target, args=args, kwargs=kwargs)
        thread.daemon = True
        thread.start()
        return thread

    def test_nothing_is_lost_while_the_owner_thread_works(self):
        # Only one connector here: the SDK may hand a message to any
        # registered handler, and the churn test below destroys them.
        listener = Counting()
        connector = _talkwire.Connector(listener)  # registered first: gets every message
        stop = []
        producers = [self.start(produce, MESSAGES // 2, CONNECTOR_EVENT),
                     self.start(produce, MESSAGES - MESSAGES // 2, MIC_EVENT, mic_active=1, mic_energy=0.5)]
        others = [self.start(busy_python, stop) for _ in range(2)]
        rounds = 0
        deadline = time.time() + 300
        while listener.connector_events + listener.mic_events < MESSAGES and time.time() < deadline:
            rounds += 1
            connector.RunTroubleShooter()
            self.assertEqual(connector.GetMicrophoneVolume(), 16000)
            self.assertEqual(connector.GetAudioInputDevices(), [(0, "mic-a"), (1, "mic-b")])
            connector.EnableGlobalPushToTalkMode([("ptt", 17)])
            self.pump(connector)
            if rounds % 16 == 0:
                voicesdk.clear_requests()
            if not any(thread.is_alive() for thread in producers):
                self.assertTrue(voicesdk.flush(30.0))
        for thread in producers:
            thread.join()
        deadline = time.time() + 60
        while listener.connector_events + listener.mic_events < MESSAGES and time.time() < deadline:
            self.assertTrue(voicesdk.flush(30.0))
            self.pump(connector)
        stop.append(True)
        for thread in others:
            thread.join()
        self.assertEqual((listener.connector_events, listener.mic_events),
                         (MESSAGES // 2, MESSAGES - MESSAGES // 2))
        sys.stderr.write("[%d messages, %d rounds of owner work] " % (MESSAGES, rounds))
        del connector

    def test_connectors_come_and_go_with_messages_queued(self):
        """The connector that receives is destroyed again and again with
        messages in its mailbox and wake-ups in the thread's queue; what it
        held is released, what comes after goes to the next one."""
        stop = []
        producer = self.start(produce, MESSAGES, CONNECTOR_EVENT)
        other = self.start(busy_python, stop)
        rounds = 0
        while producer.is_alive():
            rounds += 1
            first = _talkwire.Connector(Counting())
            second = _talkwire.Connector(Counting())
            first.GetMicrophoneVolume()
            time.sleep(0.001)
            if rounds % 2:
                self.pump(second)  # dispatches for both: the pump is the thread's
            del first  # with whatever its mailbox holds
            second.GetSpeakerVolume()
            self.pump(second)
            del second
        stop.append(True)
        other.join()
        # What arrived with no connector registered waits in the SDK.
        last = Counting()
        final = _talkwire.Connector(last)
        self.assertTrue(voicesdk.flush(30.0))
        self.pump(final)
        self.assertLessEqual(last.connector_events, MESSAGES)
        del final

    def test_connectors_on_several_threads(self):
        """Each thread owns a connector and makes synchronous calls while
        the first connector, on the main thread, receives every posted
        message (the SDK gives each message to the first handler)."""
        listener = Counting()
        main = _talkwire.Connector(listener)
        stop = []
        errors = []
        calls = [0]

        def owner_thread():
            try:
                mine = _talkwire.Connector(Counting())
                while not stop:
                    if mine.GetMicrophoneVolume() != 16000:
                        errors.append("wrong level")
                    mine.GetAudioOutputDevices()
                    mine.RunTroubleShooter()
                    calls[0] += 1
                    voicesdk.post_quit()
                    mine.Run()
                del mine
            except Exception as error:  # noqa: B902 - reported below
                errors.append(repr(error))

        owners = [self.start(owner_thread) for _ in range(2)]
        producer = self.start(produce, MESSAGES // 4, CONNECTOR_EVENT)
        deadline = time.time() + 120
        while (producer.is_alive() or calls[0] < 200) and time.time() < deadline:
            self.pump(main)
            voicesdk.clear_requests()
        stop.append(True)
        for thread in owners:
            # Their last synchronous calls may wait for a post to main.
            while thread.is_alive():
                self.pump(main)
                thread.join(0.01)
        producer.join()
        self.assertTrue(voicesdk.flush(30.0))
        self.pump(main)
        self.assertEqual(errors, [])
        # Messages that reached the owners' connectors are theirs to count.
        self.assertLessEqual(listener.connector_events, MESSAGES // 4)
        del main

    def test_synchronous_answer_outlives_another_threads_pump(self):
        """A synchronous caller reads its answer while another thread, whose
        connector the SDK handed the posted copy to, pumps.  The caller's
        reading may run Python code (a collection calling finalizers) that
        lets that thread in."""
        main = _talkwire.Connector(Counting())  # first registered
        names = ["device-%03d" % n for n in range(40)]
        voicesdk.answer("aux_get_capture_devices", devices=names, current_device=names[3])
        expected = list(enumerate(names))
        stop = []
        errors = []

        class Yielding(object):
            def __del__(self):
                time.sleep(0.0001)  # gives up the interpreter lock

        def owner_thread():
            mine = _talkwire.Connector(Counting())
            saved = gc.get_threshold()
            gc.set_threshold(1)
            try:
                for _ in range(max(20, MESSAGES // 1000)):
                    for _ in range(10):
                        garbage = Yielding()
                        garbage.cycle = garbage
                    del garbage
                    devices = mine.GetAudioInputDevices()
                    if devices != expected:
                        errors.append(devices[:3])
                    if mine.GetPreferredAudioInputDevice() != 3:
                        errors.append("preferred")
            except Exception as error:  # noqa: B902 - reported below
                errors.append(repr(error))
            finally:
                gc.set_threshold(*saved)
                del mine
                stop.append(True)

        owner = self.start(owner_thread)
        while not stop:
            self.pump(main)
        owner.join()
        self.assertTrue(voicesdk.flush(30.0))
        self.pump(main)
        self.assertEqual(errors, [])
        del main


def on_thread(function):
    """Runs `function` on a thread of its own, which then ends."""
    thread = threading.Thread(target=function)
    thread.start()
    thread.join()


def pump(connector):
    voicesdk.post_quit()
    connector.Run()


def wait_for_windows(count, timeout=30.0):
    """A thread's windows go when the system has finished ending it, a
    little after join() returns."""
    deadline = time.time() + timeout
    while voicesdk.windows() != count and time.time() < deadline:
        time.sleep(0.001)
    return voicesdk.windows() == count


class OtherThreadsTest(unittest.TestCase):
    """Connectors whose thread has ended, and connectors let go of on a
    thread that is not their own."""

    def setUp(self):
        voicesdk.reset()
        voicesdk.fault_clear()
        self.windows = voicesdk.windows() if voicesdk.PLATFORM_FAULTS else None

    def tearDown(self):
        voicesdk.fault_clear()
        assert_nothing_left(self, flush_timeout=10.0)
        if self.windows is not None:
            self.assertEqual(voicesdk.windows(), self.windows)

    @needs_platform_faults  # counts windows
    def test_connector_of_an_ended_thread_takes_nothing(self):
        """Its window went with its thread: the SDK's messages go to the
        live connector, whichever registered first."""
        orphans = []
        on_thread(lambda: orphans.append(_talkwire.Connector(Counting())))
        self.assertTrue(wait_for_windows(self.windows))
        listener = Counting()
        live = _talkwire.Connector(listener)
        self.assertEqual(voicesdk.handlers(), 2)
        produce(MESSAGES // 4, CONNECTOR_EVENT)
        self.assertTrue(voicesdk.flush(30.0))
        pump(live)
        self.assertEqual(listener.connector_events, MESSAGES // 4)
        self.assertEqual(voicesdk.live()["events"], 0)
        del orphans[:]  # on a thread not its own, with no window left
        self.assertEqual(voicesdk.handlers(), 1)
        del live

    @needs_platform_faults  # counts windows
    def test_messages_waiting_when_the_thread_ends_are_released(self):
        """Delivered to a connector whose thread ends before it pumps: they
        are released when its handler next finds the window gone."""
        orphans = []
        ready = threading.Event()
        finish = threading.Event()

        def owner():
            orphans.append(_talkwire.Connector(Counting()))
            ready.set()
            finish.wait(30)

        thread = threading.Thread(target=owner)
        thread.start()
        ready.wait(30)
        for _ in range(5):
            voicesdk.event(CONNECTOR_EVENT)
        self.assertTrue(voicesdk.flush(5.0))  # in the orphan's mailbox
        finish.set()
        thread.join()
        self.assertTrue(wait_for_windows(self.windows))
        listener = Counting()
        live = _talkwire.Connector(listener)
        voicesdk.event(CONNECTOR_EVENT)
        self.assertTrue(voicesdk.flush(5.0))
        pump(live)
        self.assertEqual(listener.connector_events, 1)
        self.assertEqual(voicesdk.live()["events"], 0)
        del orphans[:]
        del live

    @needs_platform_faults  # counts windows
    def test_connectors_let_go_on_another_thread_leave_no_window(self):
        connectors = [_talkwire.Connector(Counting()) for _ in range(50)]
        for _ in range(5):
            voicesdk.event(CONNECTOR_EVENT)
        self.assertTrue(voicesdk.flush(5.0))
        on_thread(lambda: connectors.__delitem__(slice(None)))
        self.assertEqual(voicesdk.handlers(), 0)
        self.assertEqual(voicesdk.live()["events"], 0)
        # Their windows are this thread's to destroy: its next pump does.
        self.assertEqual(voicesdk.windows(), self.windows + 50)
        pumper = _talkwire.Connector(None)
        pump(pumper)
        self.assertEqual(voicesdk.windows(), self.windows + 1)
        del pumper

    @needs_platform_faults
    def test_refused_hand_over_is_done_when_the_thread_next_makes_a_connector(self):
        connector = _talkwire.Connector(Counting())
        holder = [connector]
        del connector
        voicesdk.fault("post_message", count=1)
        on_thread(lambda: holder.pop())
        self.assertEqual(voicesdk.windows(), self.windows + 1)
        later = _talkwire.Connector(Counting())
        self.assertEqual(voicesdk.windows(), self.windows + 1)  # the new one's only
        del later

    def test_cycle_collected_on_another_thread(self):
        class Game(Counting):
            def __init__(self):
                Counting.__init__(self)
                self.connector = _talkwire.Connector(self)

        game = Game()
        for _ in range(3):
            voicesdk.event(CONNECTOR_EVENT)
        self.assertTrue(voicesdk.flush(5.0))
        del game
        on_thread(gc.collect)
        self.assertEqual(voicesdk.handlers(), 0)
        self.assertEqual(voicesdk.live()["events"], 0)
        pumper = _talkwire.Connector(None)
        pump(pumper)
        del pumper


if __name__ == "__main__":
    unittest.main()
