"""The pump's timeout against signals, and the quit handle in a signal
handler, each in a child process that the signal is sent to (as Ctrl-C
reaches a program), so that the test runner never receives one."""
import json
import os
import signal
import threading
import time
import unittest

import talkwire
import voicesdk

from child_process import ChildTestMixin, session_script
from support import OTHER_EVENT, ConnectorTest

needs_signals = unittest.skipUnless(hasattr(os, "fork"), "POSIX signals")

# A session against the simulated service driven by pump(timeout), as a
# host's loop would, and what the child leaves behind.
SESSION = session_script()


class PumpTimeoutTest(ConnectorTest):
    def test_waits_until_a_message_arrives(self):
        sender = threading.Timer(0.05, voicesdk.event, [OTHER_EVENT])
        started = time.time()
        sender.start()
        try:
            dispatched = talkwire.pump(30.0)
        finally:
            sender.join()
        self.assertEqual(dispatched, 1)
        self.assertLess(time.time() - started, 20.0)
        self.assertEqual(self.listener.of("OnConnectorEvent"), [(OTHER_EVENT, 0, 0)])

    def test_ends_at_its_timeout_with_nothing_dispatched(self):
        started = time.time()
        self.assertEqual(talkwire.pump(0.05), 0)
        self.assertGreaterEqual(time.time() - started, 0.04)

    def test_a_pending_quit_does_not_wait(self):
        talkwire.QuitHandle().quit()
        started = time.time()
        self.assertEqual(talkwire.pump(30.0), 0)
        self.assertLess(time.time() - started, 20.0)
        self.connector.Run()  # takes it


@needs_signals
class SignalTest(ChildTestMixin, unittest.TestCase):
    def test_ctrl_c_ends_the_pumps_wait_and_the_connector_then_plays_a_session(self):
        child = self.child(SESSION + """
say("ready")
try:
    talkwire.pump(60)
    say("returned")
except KeyboardInterrupt:
    say("interrupted", repr(time.time()))
connector.InitializeEx("orb")
deadline = time.time() + 20
while not game.done and time.time() < deadline:
    talkwire.pump(1.0)
say("session", json.dumps(game.heard))
del connector, game
say("left", json.dumps(leftovers()))
""")
        self.assert_ctrl_c_is_prompt(child)
        self.assertEqual(json.loads(child.expect("session")),
                         ["initialized", "logged-in", "joined-lobby", "left-lobby"])
        self.assertEqual(json.loads(child.expect("left")),
                         {"requests": 0, "responses": 0, "events": 0, "handlers": 0})
        self.finish(child)

    def test_a_signal_handler_ends_run_through_the_quit_handle(self):
        child = self.child("""
import talkwire
handle = talkwire.QuitHandle()
posted = []
signal.signal(signal.SIGUSR1, lambda number, frame: posted.append(handle.quit()))
connector = _talkwire.Connector(object())
say("ready")
result = connector.Run()
say("returned", repr(result), posted)
""")
        child.expect("ready")
        child.wait_until_sleeping()
        child.signal(signal.SIGUSR1)
        self.assertEqual(child.expect("returned"), "None [True]")
        self.finish(child)

    def test_a_handler_that_does_not_raise_leaves_the_pump_waiting(self):
        child = self.child("""
import talkwire
signal.signal(signal.SIGUSR1, lambda number, frame: say("handled"))
connector = _talkwire.Connector(object())
say("ready")
started = time.time()
result = talkwire.pump(0.5)
say("returned", result, time.time() - started >= 0.45)
""")
        child.expect("ready")
        child.wait_until_sleeping()
        child.signal(signal.SIGUSR1)
        child.expect("handled")
        self.assertEqual(child.expect("returned"), "0 True")
        self.finish(child)


if __name__ == "__main__":
    unittest.main()
