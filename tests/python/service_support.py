"""Harness for tests against the simulated voice service."""
import threading
import time

import _talkwire
import voicesdk

from support import ConnectorTest, RecordingListener

# Every delay off: a request's answers and the events they cause are queued
# before the call that issued it returns.
IMMEDIATE = dict(latency=0, peer_interval=0, mic_interval=0)

DOMAIN = "orb.voiceservice.example"


def peer(name):
    return "sip:%s@%s" % (name, DOMAIN)


class TimedListener(RecordingListener):
    """Records every callback with the moment it arrived."""

    def __init__(self):
        RecordingListener.__init__(self)
        self.times = []

    def __getattr__(self, name):
        record = RecordingListener.__getattr__(self, name)

        def timed(*args):
            self.times.append(time.time())
            record(*args)

        return timed

    def clear(self):
        RecordingListener.clear(self)
        del self.times[:]


class ServiceTest(ConnectorTest):
    """A connector against a fresh simulated voice service; at the end the
    service must have nothing left scheduled."""

    SETTINGS = IMMEDIATE

    def setUp(self):
        ConnectorTest.setUp(self)
        self.listener = TimedListener()
        self.connector = None  # the harness's own connector goes first
        self.connector = _talkwire.Connector(self.listener)
        voicesdk.mode("service")
        voicesdk.service(**self.SETTINGS)

    def tearDown(self):
        try:
            pending = voicesdk.service_state()["pending"]
        finally:
            # Whatever went wrong, the connector goes: one left registered
            # would take the next test's messages.
            ConnectorTest.tearDown(self)
        self.assertEqual(pending, 0, "the service still had work scheduled")

    def pump_all(self, timeout=5.0):
        """Dispatches until the service has answered everything and the
        handlers issued nothing new."""
        deadline = time.time() + timeout
        while True:
            # The total, not len(requests()): the service keeps only the
            # latest requests.
            issued = voicesdk.request_total()
            self.assertTrue(voicesdk.settle(max(deadline - time.time(), 0.1)), "the service did not settle")
            voicesdk.post_quit()
            self.connector.Run()
            if voicesdk.request_total() == issued:
                return
            self.assertLess(time.time(), deadline, "the session kept issuing requests")

    def pump_for(self, seconds):
        """Runs the pump for a while, as a game's frame loop would."""
        timer = threading.Timer(seconds, voicesdk.post_quit, [voicesdk.thread_id()])
        timer.start()
        try:
            self.connector.Run()
        finally:
            timer.join()

    def pump_until(self, condition, timeout=5.0):
        deadline = time.time() + timeout
        while not condition():
            self.assertLess(time.time(), deadline, "timed out waiting")
            self.pump_for(0.02)

    def initialize(self):
        self.connector.InitializeEx()
        # The connector-create request leaves from a thread of its own.
        self.pump_until(lambda: self.listener.of("OnInitialized"))
        self.assertEqual(self.listener.of("OnInitialized"), [(0,)])

    def log_in(self, name="alice", password="secret"):
        self.initialize()
        self.connector.Login(name, password)
        self.pump_all()

    def kinds(self):
        return [request["kind"] for request in voicesdk.requests()]
