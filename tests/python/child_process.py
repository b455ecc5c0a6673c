"""A Python child process that a test talks to line by line and sends
signals to, so that the test runner itself never receives one.  The child
runs with this interpreter and environment (the modules' folders, and the
sanitizer settings of an ASan run, come with it)."""
import os
import select
import signal
import subprocess
import sys
import tempfile
import time

# How long Ctrl-C may take to end a wait on a loaded machine; the benchmarks
# measure the real delay.
PROMPT = 2.0

# What every child script starts with: the modules, and say() for lines the
# test reads.
PRELUDE = """
from __future__ import print_function
import gc, json, os, signal, sys, threading, time
import _talkwire, voicesdk

def say(*words):
    sys.stdout.write(" ".join(str(word) for word in words) + "\\n")
    sys.stdout.flush()

# Ctrl-C as an interactive program has it, even when the runner was started
# in the background, where the shell leaves SIGINT ignored for its children.
signal.signal(signal.SIGINT, signal.default_int_handler)
"""


class Child(object):
    def __init__(self, script):
        # stderr to a file: a child that writes much there must not block.
        self._errors = tempfile.TemporaryFile()
        self.process = subprocess.Popen([sys.executable, "-c", PRELUDE + script], stdout=subprocess.PIPE,
                                        stderr=self._errors)
        self.pid = self.process.pid
        self._buffer = b""
        self._ended = None
        self.lines = []

    def expect(self, word, timeout=30.0):
        """The rest of the first line from the child that starts with
        `word`; AssertionError when the child ends or time runs out first."""
        deadline = time.time() + timeout
        while True:
            for index, line in enumerate(self.lines):
                if line.split(" ", 1)[0] == word:
                    del self.lines[:index + 1]
                    return line[len(word):].strip()
            left = deadline - time.time()
            if left <= 0:
                raise AssertionError("the child said no %r in %.0f s (said %r)" % (word, timeout, self.lines))
            ready, _, _ = select.select([self.process.stdout], [], [], left)
            if not ready:
                continue
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                raise AssertionError("the child ended without %r: %s" % (word, self.finish()[1]))
            self._buffer += chunk
            while b"\n" in self._buffer:
                line, self._buffer = self._buffer.split(b"\n", 1)
                self.lines.append(line.decode("utf-8", "replace"))

    def wait_until_sleeping(self, timeout=10.0):
        """Until the child's main thread sleeps (Linux: its state in /proc is
        S); elsewhere returns at once."""
        path = "/proc/%d/stat" % self.pid
        if not os.path.exists(path):
            return
        deadline = time.time() + timeout
        while time.time() < deadline:
            with open(path) as stat:
                state = stat.read().rsplit(")", 1)[1].split()[0]
            if state == "S":
                return
            time.sleep(0.001)

    def signal(self, number):
        os.kill(self.pid, number)

    def finish(self, timeout=30.0):
        """Waits for the child's end: (exit code, stderr text).  A child
        still running after `timeout` is killed and reported.  Once ended,
        later calls give the same answer."""
        if self._ended:
            return self._ended
        self._ended = self._finish(timeout)
        return self._ended

    def _finish(self, timeout):
        deadline = time.time() + timeout
        while self.process.poll() is None and time.time() < deadline:
            time.sleep(0.01)
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
            self._errors.close()
            self.process.stdout.close()
            return None, "killed after %.0f s" % timeout
        self._errors.seek(0)
        error = self._errors.read().decode("utf-8", "replace")
        self._errors.close()
        self.process.stdout.close()
        return self.process.returncode, error


def session_script(on_left="pass"):
    """A child script's voice session against the simulated service, driven
    by its callbacks (initialise, log in, join "lobby", leave), ending with
    the statement `on_left`; and leftovers(), what the child leaves behind.
    The script goes on with `connector` made and nothing asked of it yet."""
    return """
import talkwire

class Game(talkwire.Listener):
    def __init__(self):
        self.heard = []
        self.done = False

    def OnInitialized(self, status_code):
        self.heard.append("initialized")
        connector.Login("player1", "secret")

    def OnLoggedIn(self, login_state):
        if login_state == talkwire.LOGGED_IN:
            self.heard.append("logged-in")
            connector.JoinChannelEx("lobby")

    def OnJoinedChannel(self, name):
        self.heard.append("joined-" + name)
        connector.LeaveChannel(name)

    def OnLeftChannel(self, name):
        self.heard.append("left-" + name)
        self.done = True
        {on_left}

def leftovers():
    gc.collect()
    voicesdk.flush(5.0)
    deadline = time.time() + 10
    while voicesdk.live()["requests"] and time.time() < deadline:
        time.sleep(0.001)  # InitializeEx's thread hands its request over
    return dict(voicesdk.live(), handlers=voicesdk.handlers())

voicesdk.mode("service")
voicesdk.service(latency=0, peer_interval=0, mic_interval=0, peers=[])
game = Game()
connector = _talkwire.Connector(game)
""".replace("{on_left}", on_left)


class ChildTestMixin(object):
    """Children of a unittest.TestCase that always end with the test."""

    def child(self, script):
        child = Child(script)
        self.addCleanup(child.finish)  # a failed test's child goes too
        return child

    def finish(self, child):
        code, errors = child.finish()
        self.assertEqual(code, 0, errors)

    def assert_ctrl_c_is_prompt(self, child):
        """Once the child said "ready" and sleeps: SIGINT to it, and its
        "interrupted" (the time it caught KeyboardInterrupt) comes within
        PROMPT seconds."""
        child.expect("ready")
        child.wait_until_sleeping()
        sent = time.time()
        child.signal(signal.SIGINT)
        self.assertLess(float(child.expect("interrupted")) - sent, PROMPT)

