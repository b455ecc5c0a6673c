"""One player of the party demo: a talkwire client in a process of its own.

It runs the connector's message pump and does what its standard input asks,
one JSON list per line: a command number, then a Connector method and its
arguments ([3, "Login", "ann", "secret"]), or [n, "quit"].  Every listener
callback and every method's result goes to standard output as one JSON line
with the moment it happened, so that a driver (demo/party.py, the tests) can
wait for what it expects and merge the players' timelines.

Which voice server it talks to is the VOICESDK_SERVER environment variable,
which the stand-in SDK reads when the connector is created: nothing here
names the server.

    python party_player.py NAME
"""
from __future__ import print_function

import json
import sys
import threading
import time

import talkwire
import voicesdk

_print_lock = threading.Lock()


def emit(who, kind, name, args, command=None, call_args=None):
    line = {"t": time.time(), "who": who, "kind": kind, "name": name, "args": list(args)}
    if command is not None:
        line["id"] = command
    if call_args is not None:
        line["call"] = list(call_args)
    text = json.dumps(line)
    with _print_lock:
        sys.stdout.write(text + "\n")
        sys.stdout.flush()


def native(value):
    """Python 2's json gives unicode; its Connector takes native str."""
    if sys.version_info[0] < 3 and isinstance(value, type(u"")):
        return value.encode("utf-8")
    return value


def text(value):
    """JSON-friendly: SDK texts may carry bytes that are not UTF-8."""
    if isinstance(value, bytes):
        return value.decode("utf-8", "replace")
    if isinstance(value, (list, tuple)):
        return [text(item) for item in value]
    return value


class Reporter(talkwire.Listener):
    """Reports every callback on standard output."""

    def __init__(self, who):
        self.who = who


def _reporting(name):
    def callback(self, *args):
        emit(self.who, "callback", name, text(args))
    callback.__name__ = name
    return callback


for _name in talkwire.CALLBACKS:
    setattr(Reporter, _name, _reporting(_name))


class Player(object):
    def __init__(self, who):
        self.who = who
        self.commands = []
        self.lock = threading.Lock()
        self.pump_thread = voicesdk.thread_id()
        self.connector = talkwire.Connector(Reporter(who))

    def read_commands(self, stream):
        """Reader thread: queues each command and ends the pump's current
        Run so that the pump's thread carries it out."""
        while True:
            line = stream.readline()
            if not line:
                command = [None, "quit"]
            else:
                try:
                    command = json.loads(line)
                except ValueError:
                    command = [None, "bad", line.strip()]
            with self.lock:
                self.commands.append(command)
            voicesdk.post_quit(self.pump_thread)
            if command[1] == "quit":
                return

    def run(self):
        reader = threading.Thread(target=self.read_commands, args=(sys.stdin,))
        reader.daemon = True
        reader.start()
        emit(self.who, "ready", "ready", [])
        while True:
            self.connector.Run()
            with self.lock:
                commands, self.commands = self.commands, []
            for command in commands:
                if command[1] == "quit":
                    return
                self.carry_out(command)

    def carry_out(self, command):
        number, name, args = command[0], native(command[1]), [native(arg) for arg in command[2:]]
        method = getattr(self.connector, name, None)
        if method is None or name.startswith("_"):
            emit(self.who, "error", name, ["no such method"], number)
            return
        try:
            result = method(*args)
        except Exception as error:  # reported to the driver, which decides
            emit(self.who, "error", name, [type(error).__name__, str(error)], number, args)
        else:
            emit(self.who, "result", name, [text(result)], number, args)


def main():
    who = sys.argv[1] if len(sys.argv) > 1 else "player"
    player = Player(who)
    player.run()
    del player.connector
    emit(who, "done", "done", [])
    return 0


if __name__ == "__main__":
    sys.exit(main())
