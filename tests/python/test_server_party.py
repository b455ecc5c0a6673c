"""Several client processes in one channel of the local voice server: they
meet, hear who talks and who a moderator mutes, keep their own volumes and
mutes to themselves, and see each other leave, however they go."""
import os
import signal
import subprocess
import sys
import time
import unittest

from server_support import SERVER, SOURCE, ServerTest, uri

PLAIN = (0, 0)      # flag_a (talking), flag_b (muted by a moderator)
TALKING = (1, 0)
MUTED = (0, 1)


def states(player, who, since=0):
    return [call[3:] for call in player.callbacks("OnParticipantStateChanged", since)
            if call[1] == uri(who)]


class TwoPlayersTest(ServerTest):
    def test_they_meet_hear_each_other_talk_and_see_each_other_leave(self):
        ann, bob = self.in_lobby("ann", "bob")
        self.assertEqual(bob.call("GetParticipants", "lobby"), [[uri("ann"), 0, 0]])

        ann.call("Talk", 0)
        bob.expect("OnParticipantStateChanged", uri("ann"), "lobby", 1, 0)
        self.assertEqual(bob.call("GetParticipants", "lobby"), [[uri("ann"), 1, 0]])
        ann.call("Talk", 1)
        bob.expect("OnParticipantStateChanged", uri("ann"), "lobby", 0, 0)

        mark = ann.mark()
        bob.call("LeaveChannel", "lobby")
        bob.expect("OnLeftChannel", "lobby")
        ann.expect("OnParticipantLeft", uri("bob"), "lobby", since=mark)
        self.assertEqual(ann.call("GetParticipants", "lobby"), [])
        # Nobody hears their own voice or their own arrival.
        self.assertEqual(states(ann, "ann") + states(bob, "bob"), [])
        self.assertNotIn(("OnParticipantJoined", uri("ann"), "lobby"), ann.callbacks())

    def test_a_speaking_channel_decides_where_the_microphone_is_heard(self):
        ann, bob = self.in_lobby("ann", "bob")
        for player in (ann, bob):
            player.call("JoinChannelEx", "squad")
            player.expect("OnJoinedChannel", "squad")
        bob.expect("OnParticipantJoined", uri("ann"), "squad")
        mark = bob.mark()
        ann.call("SetSpeakingChannel", "squad")
        ann.call("Talk", 0)
        bob.expect("OnParticipantStateChanged", uri("ann"), "squad", 1, 0, since=mark)
        ann.call("SetSpeakingChannel", "lobby")
        bob.expect("OnParticipantStateChanged", uri("ann"), "lobby", 1, 0, since=mark)
        bob.expect("OnParticipantStateChanged", uri("ann"), "squad", 0, 0, since=mark)
        changes = [call[2:] for call in bob.callbacks("OnParticipantStateChanged", mark)]
        self.assertEqual(changes[0], ("squad", 1, 0))
        self.assertEqual(sorted(changes[1:]), [("lobby", 1, 0), ("squad", 0, 0)])


class ThreePlayersTest(ServerTest):
    def test_moderator_mute_reaches_everyone_and_silences_the_muted(self):
        ann, bob, cai = self.in_lobby("ann", "bob", "cai")
        marks = [p.mark() for p in (ann, bob, cai)]
        ann.call("ModeratorMute", "lobby", uri("bob"), 1)
        for player, mark in zip((ann, bob, cai), marks):
            player.expect("OnParticipantStateChanged", uri("bob"), "lobby", 0, 1, since=mark)
        # Muted, bob talks and nobody hears him; unmuted, everyone does.
        bob.call("Talk", 0)
        cai.until(lambda: len(states(cai, "bob", marks[2])) == 2, what="bob talking, muted")
        ann.call("ModeratorMute", "lobby", uri("bob"), 0)
        cai.expect("OnParticipantStateChanged", uri("bob"), "lobby", 1, 0, since=marks[2])
        ann.expect("OnParticipantStateChanged", uri("bob"), "lobby", 1, 0, since=marks[0])
        self.assertEqual(states(cai, "bob", marks[2]), [MUTED, MUTED, TALKING])

        # Muting all mutes everyone but the moderator.
        marks = [p.mark() for p in (ann, bob, cai)]
        cai.call("ModeratorMuteAll", "lobby", 1)
        ann.expect("OnParticipantStateChanged", uri("bob"), "lobby", 0, 1, since=marks[0])
        ann.expect("OnParticipantStateChanged", uri("ann"), "lobby", 0, 1, since=marks[0])
        bob.expect("OnParticipantStateChanged", uri("ann"), "lobby", 0, 1, since=marks[1])
        self.assertEqual(states(bob, "cai", marks[1]), [])

    def test_local_controls_stay_with_the_player_who_used_them(self):
        ann, bob, cai = self.in_lobby("ann", "bob", "cai")
        marks = [p.mark() for p in (ann, bob)]
        cai.call("MuteParticipantForMe", "lobby", uri("ann"), 1)
        cai.call("SetParticipantVolumeForMe", "lobby", uri("bob"), 9000)
        cai.call("MuteChannelOutput", "lobby", 1)
        cai.call("SetChannelOutputVolume", "lobby", 12000)
        cai.call("SetSpeakerVolume", 19200)
        cai.call("SetMicrophoneVolume", 28800)
        # Something everyone hears, after all of that: cai talks.
        cai.call("Talk", 0)
        ann.expect("OnParticipantStateChanged", uri("cai"), "lobby", 1, 0, since=marks[0])
        bob.expect("OnParticipantStateChanged", uri("cai"), "lobby", 1, 0, since=marks[1])
        for player, mark in zip((ann, bob), marks):
            self.assertEqual(player.callbacks(since=mark),
                             [("OnParticipantStateChanged", uri("cai"), "lobby", 1, 0)])
        # And cai's own machine remembers its levels.
        self.assertEqual(cai.call("GetSpeakerVolume"), 19200)
        self.assertEqual(ann.call("GetSpeakerVolume"), 16000)

    def test_a_player_that_leaves_logs_out_or_dies_is_gone_for_the_others(self):
        ann, bob, cai, dee = self.in_lobby("ann", "bob", "cai", "dee")
        mark = ann.mark()
        bob.call("LeaveChannel", "lobby")
        ann.expect("OnParticipantLeft", uri("bob"), "lobby", since=mark)
        cai.call("Logout")
        ann.expect("OnParticipantLeft", uri("cai"), "lobby", since=mark)
        start = time.time()
        dee.kill()
        ann.expect("OnParticipantLeft", uri("dee"), "lobby", since=mark)
        killed_after = time.time() - start
        self.assertEqual(ann.call("GetParticipants", "lobby"), [])
        # A closed connection is noticed at once; a generous bound for a
        # loaded machine.
        self.assertLess(killed_after, 10.0)


class PuppetTest(ServerTest):
    OPTIONS = ServerTest.OPTIONS + ("--peers", "ava", "--peer-interval", "0", "--talk-rounds", "1", "--peers-stay")

    def test_puppet_peers_keep_each_player_company_and_only_that_player(self):
        ann, bob = self.in_lobby("ann", "bob")
        for player in (ann, bob):
            player.expect("OnParticipantJoined", uri("ava"), "lobby")
            player.expect("OnParticipantStateChanged", uri("ava"), "lobby", 1, 0)
            player.expect("OnParticipantStateChanged", uri("ava"), "lobby", 0, 0)
        mark = ann.mark()
        bob.call("LeaveChannel", "lobby")
        ann.expect("OnParticipantLeft", uri("bob"), "lobby", since=mark)
        # ann's puppet stays with ann.
        self.assertEqual(sorted(p[0] for p in ann.call("GetParticipants", "lobby")), [uri("ava")])


@unittest.skipUnless(hasattr(signal, "SIGSTOP"), "needs SIGSTOP")
class HungPlayerTest(ServerTest):
    OPTIONS = ("--heartbeat", "2")

    def test_a_player_that_stops_answering_is_dropped_and_then_sees_the_server_lost(self):
        ann, bob = self.in_lobby("ann", "bob")
        mark = ann.mark()
        os.kill(bob.process.pid, signal.SIGSTOP)
        try:
            ann.expect("OnParticipantLeft", uri("bob"), "lobby", since=mark)
        finally:
            os.kill(bob.process.pid, signal.SIGCONT)
        bob.expect("OnLeftChannel", "lobby")
        bob.expect("OnLoggedIn", 0)
        # ann, who kept answering, is still there.
        self.assertEqual(ann.callbacks("OnLoggedIn", mark), [])


class PartyDemoTest(unittest.TestCase):
    @unittest.skipUnless(SERVER and os.path.exists(SERVER), "the local voice server is not built here")
    def test_the_party_ends_by_itself_with_everyone_having_seen_everything(self):
        party = os.path.join(SOURCE, "demo", "party.py")
        process = subprocess.Popen([sys.executable, party, SERVER], stdout=subprocess.PIPE)
        output = process.communicate()[0].decode("utf-8", "replace")
        self.assertEqual(process.returncode, 0, output)
        self.assertIn("everyone saw what they should", output)
        for seen in ("ann     OnParticipantLeft           bob lobby", "ann     OnParticipantLeft           cai lobby",
                     "talkwire voice server stopped"):
            self.assertIn(seen, output)


if __name__ == "__main__":
    unittest.main()
