"""Waiting without the interpreter lock, and hearing Ctrl-C.  Run's idle
wait and the synchronous calls let other Python threads run while they
sleep; a signal handler that raises (Ctrl-C: KeyboardInterrupt) ends the
wait with its exception and leaves the connector usable; a handler that
does not raise leaves the wait going; a connector used in a forked child
refuses at once.  Signals go to child processes (to the process, as Ctrl-C
sends them), never to the test runner."""
import gc
import json
import os
import signal
import sys
import threading
import time
import unittest
import warnings

import _talkwire
import voicesdk

from child_process import ChildTestMixin, session_script
from service_support import IMMEDIATE, ServiceTest
from support import ConnectorTest

POSIX = hasattr(os, "fork")
needs_signals = unittest.skipUnless(POSIX, "POSIX signals")

# A voice session driven by its callbacks, and what a child leaves behind.
SESSION = session_script(on_left="voicesdk.post_quit()")

NOTHING_LEFT = {"requests": 0, "responses": 0, "events": 0, "handlers": 0}


@needs_signals
class CtrlCTest(ChildTestMixin, ServiceTest):
    def test_sigint_ends_an_idle_run_and_the_same_connector_then_plays_a_session(self):
        child = self.child(SESSION + """
say("ready")
try:
    connector.Run()
    say("returned")
except KeyboardInterrupt:
    say("interrupted", repr(time.time()))
connector.InitializeEx("orb")
say("session", repr(connector.Run()), json.dumps(game.heard))
del connector, game
say("left", json.dumps(leftovers()))
""")
        self.assert_ctrl_c_is_prompt(child)
        self.assertEqual(child.expect("session"),
                         'None ["initialized", "logged-in", "joined-lobby", "left-lobby"]')
        self.assertEqual(json.loads(child.expect("left")), NOTHING_LEFT)
        self.finish(child)

    def test_a_handler_that_does_not_raise_leaves_run_waiting_and_one_that_quits_ends_it(self):
        child = self.child("""
handled = {"quiet": 0, "quit": 0}

def quiet(number, frame):
    handled["quiet"] += 1
    say("handled")

def quit(number, frame):
    handled["quit"] += 1
    voicesdk.post_quit()

signal.signal(signal.SIGUSR1, quiet)
signal.signal(signal.SIGUSR2, quit)
connector = _talkwire.Connector(object())
say("ready")
result = connector.Run()
say("returned", repr(result), handled["quiet"], handled["quit"])
""")
        child.expect("ready")
        child.wait_until_sleeping()
        child.signal(signal.SIGUSR1)
        # The handler runs while Run waits (before, it waited for a message).
        child.expect("handled")
        child.wait_until_sleeping()
        child.signal(signal.SIGUSR2)
        self.assertEqual(child.expect("returned"), "None 1 1")
        self.finish(child)

    def test_ctrl_c_during_a_synchronous_call_raises_and_its_late_answer_is_released(self):
        child = self.child("""
connector = _talkwire.Connector(object())
say("ready")
try:
    connector.GetMicrophoneVolume()  # nothing answers until told
    say("answered")
except KeyboardInterrupt:
    say("interrupted", repr(time.time()))
live = voicesdk.live()
voicesdk.respond(0, level=12)
assert voicesdk.flush(5.0)
voicesdk.post_quit()
connector.Run()
del connector
gc.collect()
say("left", json.dumps(dict(voicesdk.live(), handlers=voicesdk.handlers())), live["responses"])
""")
        self.assert_ctrl_c_is_prompt(child)
        left, answers_before = child.expect("left").rsplit(" ", 1)
        self.assertEqual(json.loads(left), NOTHING_LEFT)
        self.assertEqual(answers_before, "0")
        self.finish(child)

    @unittest.skipUnless(os.path.exists("/proc/self/task"), "Linux's /proc")
    def test_only_the_main_thread_takes_ctrl_c(self):
        # Every thread the SDK, the simulated service and the module start
        # holds asynchronous signals, so a SIGINT to the process reaches the
        # thread that waits for it.
        child = self.child(SESSION + """
voicesdk.service(latency=0.01)
connector.GetMicrophoneVolume()  # the service's timer starts from this thread
connector.InitializeEx("orb")   # from a thread of the module's own
assert voicesdk.settle(5.0)
held = {}
for task in os.listdir("/proc/self/task"):
    if int(task) == os.getpid():
        continue
    try:
        with open("/proc/self/task/%s/status" % task) as status:
            for line in status:
                if line.startswith("SigBlk:"):
                    held[task] = bool(int(line.split()[1], 16) & (1 << (signal.SIGINT - 1)))
    except (IOError, OSError):
        pass  # ended meanwhile (InitializeEx's thread)
say("held", json.dumps(sorted(held.values())))
""")
        held = json.loads(child.expect("held"))
        self.assertGreaterEqual(len(held), 2)  # the notification thread and the service's timer
        self.assertTrue(all(held), held)
        self.finish(child)


class SlowAnswerTest(ServiceTest):
    SETTINGS = dict(IMMEDIATE, latency=0.5)

    def test_other_threads_run_while_a_synchronous_call_waits(self):
        seen = {}

        def watch():
            # Once the call's request is out, the answer is still scheduled
            # while the caller waits: a thread that runs then sees it so.
            deadline = time.time() + 30
            while not any(r["kind"] == "aux_get_mic_level" for r in voicesdk.requests()):
                if time.time() > deadline:
                    return
                time.sleep(0.001)
            seen["pending"] = voicesdk.service_state()["pending"]

        watcher = threading.Thread(target=watch)
        watcher.start()
        try:
            self.connector.GetMicrophoneVolume()
        finally:
            watcher.join()
        self.assertEqual(seen.get("pending"), 1, "no other thread ran while the call waited")


@unittest.skipUnless(POSIX, "fork()")
class ForkTest(ConnectorTest):
    def test_a_connector_used_in_a_forked_child_raises_at_once(self):
        voicesdk.answer("aux_get_mic_level", level=30)
        # The child reports through a pipe: a memory checker makes the exit
        # status of a forked child its own (what the other threads held
        # counts as lost there).
        report, reported = os.pipe()
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)  # 3.12+: fork() with threads running
            pid = os.fork()
        if pid == 0:
            code = 1
            try:
                os.close(report)
                refused = 0
                for method in (self.connector.GetMicrophoneVolume, self.connector.Run, self.connector.Logout):
                    try:
                        method()
                    except RuntimeError as error:
                        refused += "forked" in str(error)
                self.connector = None
                gc.collect()
                code = 0 if refused == 3 else 2
                os.write(reported, str(code).encode("ascii"))
            finally:
                os._exit(code)
        os.close(reported)
        deadline = time.time() + 30
        while time.time() < deadline:
            done, _ = os.waitpid(pid, os.WNOHANG)
            if done:
                break
            time.sleep(0.01)
        else:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
            os.close(report)
            self.fail("the forked child was still waiting after 30 s")
        outcome = os.read(report, 16)
        os.close(report)
        self.assertEqual(outcome, b"0", "the child's calls were not all refused")
        # The parent's connector goes on as before.
        self.assertEqual(self.connector.GetMicrophoneVolume(), self.connector.GetMicrophoneVolume())
        self.pump()


if __name__ == "__main__":
    unittest.main()
