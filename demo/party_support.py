"""Processes of a party: the local voice server and player processes
(party_player.py), each read by a thread of its own, with waits on what
they report rather than on time.  The party demo and the tests share it."""
from __future__ import print_function

import json
import os
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PLAYER = os.path.join(HERE, "party_player.py")
DOMAIN = "orb.voiceservice.example"


def uri(name):
    return "sip:%s@%s" % (name, DOMAIN)


class Lines(object):
    """Lines a process writes, kept in order, with waits for new ones."""

    def __init__(self, stream, parse):
        self.items = []
        self.closed = False
        self.changed = threading.Condition()
        self.thread = threading.Thread(target=self._read, args=(stream, parse))
        self.thread.daemon = True
        self.thread.start()

    def _read(self, stream, parse):
        for raw in iter(stream.readline, b""):
            item = parse(raw.decode("utf-8", "replace").rstrip("\n"))
            if item is None:
                continue
            with self.changed:
                self.items.append(item)
                self.changed.notify_all()
        stream.close()
        with self.changed:
            self.closed = True
            self.changed.notify_all()

    def wait(self, predicate, timeout, start=0, what="a line"):
        """The first item from index `start` on that satisfies predicate;
        AssertionError (naming `what`) when none comes in time."""
        deadline = time.time() + timeout
        with self.changed:
            index = start
            while True:
                while index < len(self.items):
                    if predicate(self.items[index]):
                        return self.items[index]
                    index += 1
                left = deadline - time.time()
                if left <= 0 or self.closed:
                    raise AssertionError("gave up waiting for %s; saw %r" % (what, self.items[start:]))
                self.changed.wait(min(left, 1.0))

    def finish(self, timeout=10.0):
        """Once the process has ended: waits until every line it wrote is in."""
        self.thread.join(timeout)

    def until(self, check, timeout, what):
        """Waits until check() (which may read the lines) holds."""
        deadline = time.time() + timeout
        with self.changed:
            while not check():
                left = deadline - time.time()
                if left <= 0 or self.closed:
                    raise AssertionError("gave up waiting for %s; saw %r" % (what, self.items[-20:]))
                self.changed.wait(min(left, 1.0))

    def snapshot(self):
        with self.changed:
            return list(self.items)


class VoiceServer(object):
    """The server program, listening on a free port of 127.0.0.1."""

    def __init__(self, program, *options):
        self.program = program
        self.options = list(options)
        self.process = None
        self.port = None
        self.start()

    def start(self, port=0):
        command = [self.program, "--port", str(port or self.port or 0), "--log"] + self.options
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE)
        first = self.process.stdout.readline().decode("utf-8", "replace")
        if "listening on" not in first:
            self.process.kill()
            self.process.wait()
            raise RuntimeError("the voice server did not start: %r" % first)
        self.port = int(first.rsplit(":", 1)[1])
        self.log = Lines(self.process.stdout, self._parse)
        return self

    @staticmethod
    def _parse(line):
        stamp, _, rest = line.partition(" server ")
        try:
            return {"t": float(stamp), "who": "server", "kind": "log", "name": rest, "args": []}
        except ValueError:
            return {"t": time.time(), "who": "server", "kind": "log", "name": line, "args": []}

    @property
    def address(self):
        return "127.0.0.1:%d" % self.port

    def stop(self, timeout=10.0):
        """SIGINT, then the exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
        status = wait_exit(self.process, timeout)
        self.log.finish()
        return status

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
        status = wait_exit(self.process, 10.0)
        self.log.finish()
        return status


def wait_exit(process, timeout):
    """The exit status, once the process has ended (killed after `timeout`)."""
    deadline = time.time() + timeout
    while process.poll() is None:
        if time.time() > deadline:
            process.kill()
            process.wait()
            raise AssertionError("process %d did not exit within %.0f s" % (process.pid, timeout))
        time.sleep(0.01)
    if process.stdin:
        try:
            process.stdin.close()
        except (IOError, OSError):
            pass  # a player killed with a command unread
    return process.returncode


class PlayerProcess(object):
    """A party_player.py process talking to `server`."""

    def __init__(self, name, server_address, python=None, extra_env=None):
        self.name = name
        env = dict(os.environ)
        env["VOICESDK_SERVER"] = server_address
        env["PYTHONUNBUFFERED"] = "1"
        if extra_env:
            env.update(extra_env)
        self.process = subprocess.Popen([python or sys.executable, PLAYER, name], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, env=env)
        self.lines = Lines(self.process.stdout, self._parse)
        self.next_command = 1
        self.lines.wait(lambda line: line["kind"] == "ready", 30.0, what="%s to start" % name)

    def _parse(self, line):
        try:
            return json.loads(line)
        except ValueError:
            return {"t": time.time(), "who": self.name, "kind": "output", "name": line, "args": []}

    def mark(self):
        """Index of the next line: waits from here see only what follows."""
        with self.lines.changed:
            return len(self.lines.items)

    def send(self, method, *args):
        number = self.next_command
        self.next_command += 1
        self.process.stdin.write((json.dumps([number, method] + list(args)) + "\n").encode("utf-8"))
        self.process.stdin.flush()
        return number

    def call(self, method, *args, **options):
        """Carries out a Connector method in the player and returns its
        result (an error line raises AssertionError)."""
        number = self.send(method, *args)
        line = self.lines.wait(lambda line: line.get("id") == number, options.get("timeout", 15.0),
                               what="%s.%s" % (self.name, method))
        if line["kind"] == "error":
            raise AssertionError("%s.%s failed: %s" % (self.name, method, line["args"]))
        return line["args"][0]

    def expect(self, name, *args, **options):
        """Waits for the callback `name` with these leading arguments, from
        index `since` (default 0) on; returns its line."""
        since = options.get("since", 0)

        def matches(line):
            return (line["kind"] == "callback" and line["name"] == name and
                    list(line["args"][:len(args)]) == list(args))
        return self.lines.wait(matches, options.get("timeout", 15.0), since,
                               what="%s to hear %s%r" % (self.name, name, args))

    def until(self, check, timeout=15.0, what="a condition"):
        self.lines.until(check, timeout, "%s: %s" % (self.name, what))

    def callbacks(self, name=None, since=0):
        return [(line["name"],) + tuple(line["args"]) for line in self.lines.snapshot()[since:]
                if line["kind"] == "callback" and (name is None or line["name"] == name)]

    def log_in(self, password="secret"):
        self.call("InitializeEx", "orb")
        self.expect("OnInitialized")
        self.call("Login", self.name, password)
        self.expect("OnLoggedIn", 2)

    def quit(self, timeout=15.0):
        if self.process.poll() is None:
            try:
                self.send("quit")
            except (IOError, OSError):
                pass
        status = wait_exit(self.process, timeout)
        self.lines.finish()
        return status

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
        status = wait_exit(self.process, 10.0)
        self.lines.finish()
        return status
