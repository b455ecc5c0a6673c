"""The party: one local voice server and three game clients, each a
talkwire program in a process of its own (party_player.py), in one channel.

They log in as ann, bob and cai, join "lobby" and see each other arrive,
talk in turn, then bob leaves and cai's process is killed, and ann sees
both go.  The server's log and every client's callbacks are printed at the
end as one timeline.  It ends by itself in a few seconds and exits 0 when
everyone saw what they should.

Run it with ./scripts/party.sh, or with the server program's path:

    python demo/party.py build/bin/talkwire-voice-server
"""
from __future__ import print_function

import os
import sys
import time

from party_support import PlayerProcess, VoiceServer, uri
from talkwire.demo import short

NAMES = ("ann", "bob", "cai")


def shown(values):
    """URIs by their names, texts bare."""
    return [short(v) if isinstance(v, type(u"")) and v.startswith("sip:") else v for v in values]


def quoted(value):
    """As Python 3 shows it, whatever the interpreter."""
    return "'%s'" % value if isinstance(value, type(u"")) else repr(value)


def describe(line):
    args = shown(line["args"])
    if line["kind"] == "callback":
        return "%-27s %s" % (line["name"], " ".join(str(a) for a in args))
    if line["kind"] in ("result", "error"):
        call = "%s(%s)" % (line["name"], ", ".join(quoted(a) for a in shown(line.get("call", []))))
        outcome = "" if args == [None] else (" = %r" % (args[0],) if line["kind"] == "result" else " failed: %s" % args)
        return "-> %s%s" % (call, outcome)
    return line["name"]


def timeline(start, sources):
    lines = [line for source in sources for line in source.snapshot()
             if line["kind"] in ("callback", "result", "log", "error")]
    lines.sort(key=lambda line: line["t"])
    print("   time   who     what")
    for line in lines:
        print("%7.3fs  %-6s  %s" % (line["t"] - start, line["who"], describe(line)))


class Party(object):
    def __init__(self, server_program):
        self.start = time.time()
        self.server = VoiceServer(server_program)
        self.players = {}
        self.sources = [self.server.log]

    def join(self, name):
        player = PlayerProcess(name, self.server.address)
        self.players[name] = player
        self.sources.append(player.lines)
        player.log_in()
        player.call("JoinChannelEx", "lobby")
        player.expect("OnJoinedChannel", "lobby")
        return player

    def everyone_sees(self, who, name, *args):
        for other, player in self.players.items():
            if other != who and player.process.poll() is None:
                player.expect(name, uri(who), "lobby", *args, since=self.marks[other])

    def mark(self):
        self.marks = dict((name, player.mark()) for name, player in self.players.items())

    def play(self):
        for name in NAMES:
            self.join(name)
        # Everyone sees everyone else arrive, whoever came first.
        for name, player in self.players.items():
            for other in NAMES:
                if other != name:
                    player.expect("OnParticipantJoined", uri(other), "lobby")

        for name in NAMES:  # talk in turn
            self.mark()
            self.players[name].call("Talk", 0)
            self.everyone_sees(name, "OnParticipantStateChanged", 1, 0)
            self.mark()
            self.players[name].call("Talk", 1)
            self.everyone_sees(name, "OnParticipantStateChanged", 0, 0)

        self.mark()
        self.players["bob"].call("LeaveChannel", "lobby")
        self.players["bob"].expect("OnLeftChannel", "lobby")
        self.everyone_sees("bob", "OnParticipantLeft")

        self.mark()
        self.players["cai"].kill()
        self.players["ann"].expect("OnParticipantLeft", uri("cai"), "lobby", since=self.marks["ann"])

        ann = self.players["ann"]
        ann.call("LeaveChannel", "lobby")
        ann.expect("OnLeftChannel", "lobby")
        ann.call("Logout")
        ann.expect("OnLoggedIn", 0)
        for name in ("ann", "bob"):
            if self.players[name].quit() != 0:
                raise AssertionError("%s did not end cleanly" % name)
        if self.server.stop() != 0:
            raise AssertionError("the server did not stop cleanly")

    def end(self):
        for player in self.players.values():
            player.kill()
        self.server.kill()


def main():
    program = sys.argv[1] if len(sys.argv) > 1 else os.environ.get("TALKWIRE_VOICE_SERVER")
    if not program:
        print("usage: party.py SERVER_PROGRAM", file=sys.stderr)
        return 2
    print("talkwire party: a local voice server and three clients in one channel")
    party = Party(program)
    try:
        party.play()
        ok = True
    except AssertionError as error:
        print("the party went wrong: %s" % error)
        ok = False
    finally:
        party.end()
    timeline(party.start, party.sources)
    took = time.time() - party.start
    print("\n%s in %.1f s" % ("everyone saw what they should" if ok else "FAILED", took))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
