"""Harness for tests against the local voice server: a fresh server per
test on a free port of 127.0.0.1, and player processes (the party demo's
demo/party_player.py) that report every callback.  Tests wait on what the
players report, never on time alone."""
import os
import sys
import unittest

SERVER = os.environ.get("TALKWIRE_VOICE_SERVER")
SOURCE = os.environ.get("TALKWIRE_SOURCE_DIR") or os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
# The party demo's harness, imported from its folder without leaving that
# folder on the path of the rest of the run.
sys.path.insert(0, os.path.join(SOURCE, "demo"))
try:
    from party_support import PlayerProcess, VoiceServer, uri  # noqa: E402
finally:
    del sys.path[0]

# The stand-in's statuses for the server's faults.
SERVER_UNREACHABLE = 10060
ALREADY_LOGGED_IN = 20204
WRONG_PASSWORD = 20201


@unittest.skipUnless(SERVER and os.path.exists(SERVER), "the local voice server is not built here")
class ServerTest(unittest.TestCase):
    # A heartbeat no loaded machine can miss, unless a test is about it.
    OPTIONS = ("--heartbeat", "10")

    def setUp(self):
        self.players = []
        self.server = VoiceServer(SERVER, *self.OPTIONS)

    def tearDown(self):
        for player in self.players:
            player.kill()
        status = self.server.stop()
        self.assertEqual(status, 0, "the server did not stop cleanly")

    def player(self, name, address=None, log_in=True, **options):
        player = PlayerProcess(name, address or self.server.address, **options)
        self.players.append(player)
        if log_in:
            player.log_in()
        return player

    def in_lobby(self, *names):
        """Players logged in and in "lobby", each having seen the others."""
        players = []
        for name in names:
            player = self.player(name)
            player.call("JoinChannelEx", "lobby")
            player.expect("OnJoinedChannel", "lobby")
            players.append(player)
        for player in players:
            for other in players:
                if other is not player:
                    player.expect("OnParticipantJoined", uri(other.name), "lobby")
        return players
