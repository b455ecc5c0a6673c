"""Per-channel and per-participant controls, GetParticipants and the
participant events that fill it."""
import math
import struct
import unittest

import voicesdk

from support import E_INVALIDARG, fields
from test_channels_join import ChannelTest


def single(value):
    """`value` rounded to single precision, as the module receives it."""
    return struct.unpack("f", struct.pack("f", value))[0]


# (method, arguments after the channel name, request kind, expected fields
# after the ones naming the channel, failure message)
CONTROLS = [
    ("SetSpeakingChannel", (), "sessiongroup_set_tx_session",
     [("session_handle", "s-a"), ("sessiongroup_handle", "group-1")], "Couldn't set speaking channel"),
    ("MuteChannelOutput", (1,), "session_mute_local_speaker",
     [("session_handle", "s-a"), ("mute", 1)], "Couldn't mute channel output"),
    ("SetChannelOutputVolume", (16000,), "session_set_local_speaker_volume",
     [("session_handle", "s-a"), ("volume", 50)], "Couldn't set channel output volume"),
    ("ModeratorMuteAll", (-3,), "channel_mute_all_users",
     [("account_handle", "acct-1"), ("channel_name", "a"), ("channel_uri", "sip:a@voice.example"),
      ("mute", -3)], "Couldn't moderator mute all."),
    ("ModeratorMute", ("sip:p", 1), "channel_mute_user",
     [("account_handle", "acct-1"), ("channel_name", "a"), ("channel_uri", "sip:a@voice.example"),
      ("participant_uri", "sip:p"), ("mute", 1)], "Couldn't moderator mute all."),
    ("MuteParticipantForMe", ("sip:p", 7), "session_set_participant_mute_for_me",
     [("session_handle", "s-a"), ("participant_uri", "sip:p"), ("mute", 7)], "Couldn't mute participant"),
    ("SetParticipantVolumeForMe", ("sip:p", 32000), "session_set_participant_volume_for_me",
     [("session_handle", "s-a"), ("participant_uri", "sip:p"), ("volume", 100)],
     "Couldn't set volume for participant"),
]


class ControlsTest(ChannelTest):
    def setUp(self):
        ChannelTest.setUp(self)
        self.join("a", "b")
        self.connect("a", "s-a")  # "b" is placed now, its session not yet known
        voicesdk.clear_requests()

    def test_request_fields(self):
        for method, arguments, kind, expected, _ in CONTROLS:
            voicesdk.clear_requests()
            self.assertIsNone(getattr(self.connector, method)("a", *arguments))
            request = self.last_request(kind)
            self.assertFalse(request["sync"])
            self.assertEqual(request["fields"], expected, method)
        self.pump()

    def test_guard_issues_nothing(self):
        # Never joined, session not yet known, and the omitted name.
        for method, arguments, _, _, _ in CONTROLS:
            for name in ("never", "b"):
                self.assertIsNone(getattr(self.connector, method)(name, *arguments))
            if method != "SetSpeakingChannel":
                self.assertIsNone(getattr(self.connector, method)())
        self.assertEqual(voicesdk.requests(), [])
        self.assertEqual(voicesdk.live()["requests"], 0)
        self.pump()

    def test_refusals_raise_the_failure_message(self):
        for method, arguments, _, _, message in CONTROLS:
            voicesdk.refuse(-9)
            self.assertWindowsError(-9, message, getattr(self.connector, method), "a", *arguments)
        self.pump()

    def test_clearing_the_speaking_channel(self):
        self.connector.SetSpeakingChannel()
        self.connector.SetSpeakingChannel("")
        cleared = self.requests("sessiongroup_set_tx_no_session")
        self.assertEqual([r["fields"] for r in cleared], [[("sessiongroup_handle", "group-1")]] * 2)
        voicesdk.refuse(4)
        self.assertWindowsError(4, "Couldn't clear speaking channel", self.connector.SetSpeakingChannel)
        self.pump()

    def test_volume_scale(self):
        table = [(32000, 100), (16000, 50), (319, 0), (-320, -1), (0, 0),
                 # Far outside the scale, still a defined level.
                 (2147483647, 6710886), (-2147483648, -6710886), (21474837, 67108)]
        for volume, level in table:
            self.connector.SetChannelOutputVolume("a", volume)
            self.connector.SetParticipantVolumeForMe("a", "sip:p", volume)
        self.assertEqual([fields(r)["volume"] for r in self.requests("session_set_local_speaker_volume")],
                         [level for _, level in table])
        self.assertEqual([fields(r)["volume"] for r in self.requests("session_set_participant_volume_for_me")],
                         [level for _, level in table])
        self.pump()

    def test_argument_errors(self):
        self.assertRaises(TypeError, self.connector.MuteChannelOutput, "a", "loud")
        self.assertRaises(TypeError, self.connector.ModeratorMute, "a", 3)
        self.assertRaises(TypeError, self.connector.SetSpeakingChannel, 1)
        self.assertEqual(voicesdk.requests(), [])
        self.pump()


class PositionTest(ChannelTest):
    def setUp(self):
        ChannelTest.setUp(self)
        self.join("a")
        self.connect("a", "s-a")
        voicesdk.clear_requests()

    def blocks(self):
        request = self.last_request("session_set_3d_position")
        values = fields(request)
        self.assertEqual(values["session_handle"], "s-a")
        self.assertEqual(values["speaker_vectors"], values["listener_vectors"])
        vectors = list(values["speaker_vectors"])
        return [vectors[i:i + 3] for i in range(0, 15, 3)]

    def test_facing_straight_ahead(self):
        self.connector.SetAudioPositionAndFacing("a", 1.5, 2.0, -3.0, 0.1, 0.2, 0.3, 0.0)
        position, second, facing, vertical, side = self.blocks()
        self.assertEqual(position, [1.5, 2.0, -3.0])
        self.assertEqual(second, [single(0.1), single(0.2), single(0.3)])
        self.assertEqual((facing, vertical, side), ([0, 0, -1], [0, 1, 0], [-1, 0, 0]))
        self.pump()

    def test_facing_a_quarter_turn(self):
        self.connector.SetAudioPositionAndFacing("a", 0, 0, 0, 0, 0, 0, math.pi / 2)
        _, _, facing, vertical, side = self.blocks()
        # cos of the single-precision quarter turn is slightly negative.
        cos = single(math.cos(single(math.pi / 2)))
        self.assertAlmostEqual(cos, -4.371139e-08, places=14)
        self.assertEqual(facing, [1.0, 0.0, -cos])
        self.assertEqual(vertical, [0, 1, 0])
        self.assertEqual(side, [-cos, 0.0, -1.0])
        self.pump()

    def test_guard_releases_the_request_but_takes_a_cookie(self):
        self.connector.RunTroubleShooter()
        before = int(self.last_request()["cookie"])
        self.connector.SetAudioPositionAndFacing("nowhere", 0, 0, 0, 0, 0, 0, 0)
        self.connector.SetAudioPositionAndFacing()
        self.assertEqual(voicesdk.live()["requests"], 0)
        self.connector.RunTroubleShooter()
        self.assertEqual([r["kind"] for r in voicesdk.requests()], ["aux_connectivity_info"] * 2)
        self.assertEqual(int(self.last_request()["cookie"]), before + 3)
        self.pump()

    def test_missing_numbers_are_a_type_error(self):
        for count in range(7):
            with self.assertRaises(TypeError) as caught:
                self.connector.SetAudioPositionAndFacing("a", *([1.0] * count))
            self.assertIn("SetAudioPositionAndFacing", str(caught.exception))
        self.assertEqual(voicesdk.requests(), [])
        self.connector.RunTroubleShooter()
        first = int(self.last_request()["cookie"])
        self.connector.RunTroubleShooter()
        self.assertEqual(int(self.last_request()["cookie"]), first + 1)  # no cookie was spent
        self.pump()

    def test_refusal(self):
        voicesdk.refuse(12)
        self.assertWindowsError(12, "Couldn't set audio position", self.connector.SetAudioPositionAndFacing,
                                "a", 0, 0, 0, 0, 0, 0, 0)
        self.pump()


class ParticipantsTest(ChannelTest):
    def setUp(self):
        ChannelTest.setUp(self)
        self.join("a")
        self.connect("a", "s-a")
        self.listener.clear()

    def added(self, uri, participant_type=0):
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_ADDED, session_handle="s-a", participant_uri=uri,
                       participant_type=participant_type)

    def test_list_in_uri_order(self):
        for uri in ("sip:b", "sip:a", "sip:B"):
            self.added(uri)
        self.pump()
        self.assertEqual(self.connector.GetParticipants("a"), [("sip:B", 0, 0), ("sip:a", 0, 0), ("sip:b", 0, 0)])

    def test_empty_and_unknown(self):
        self.assertEqual(self.connector.GetParticipants("a"), [])
        self.assertEqual(self.connector.GetParticipants("never"), [])
        self.assertWindowsError(E_INVALIDARG, "Invalid channel name", self.connector.GetParticipants, "")
        self.assertRaises(TypeError, self.connector.GetParticipants)
        self.pump()

    def test_updates_store_flags_and_pass_them_raw(self):
        self.added("sip:p")
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_UPDATED, session_handle="s-a", participant_uri="sip:p", flag_a=2,
                       flag_b=0, level=0.25)
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_PROPERTIES, session_handle="s-a", participant_uri="sip:q", flag_a=0,
                       flag_b=-1, level=1.0)
        self.pump()
        self.assertEqual(self.connector.GetParticipants("a"), [("sip:p", 1, 0), ("sip:q", 0, 1)])
        self.assertEqual(self.listener.of("OnParticipantStateChanged"),
                         [("sip:p", "a", 2, 0), ("sip:q", "a", 0, -1)])
        # Joining again starts the participant afresh.
        self.added("sip:p")
        self.pump()
        self.assertEqual(self.connector.GetParticipants("a")[0], ("sip:p", 0, 0))

    def test_state_events_and_type_two(self):
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_STATE_CHANGE, session_handle="s-a", participant_state=7,
                       participant_uri="sip:x", participant_type=1)
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_STATE_CHANGE, session_handle="s-a", participant_state=7,
                       participant_uri="sip:hidden", participant_type=2)
        self.added("sip:hidden2", participant_type=2)
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_STATE_CHANGE, session_handle="s-a", participant_state=8,
                       participant_uri="sip:y", participant_type=0)
        self.pump()
        self.assertEqual(self.connector.GetParticipants("a"), [("sip:x", 0, 0)])
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_STATE_CHANGE, session_handle="s-a", participant_state=9,
                       participant_uri="sip:x", participant_type=0)
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_REMOVED, session_handle="s-a", participant_uri="sip:never")
        self.pump()
        self.assertEqual(self.connector.GetParticipants("a"), [])
        self.assertEqual(self.listener.calls, [
            ("OnParticipantJoined", "sip:x", "a"),
            ("OnParticipantLeft", "sip:x", "a"),
            ("OnParticipantLeft", "sip:never", "a")])

    def test_participants_go_with_their_channel(self):
        self.added("sip:p")
        voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, session_handle="s-a", media_state=1)
        self.pump()
        self.assertEqual(self.connector.GetParticipants("a"), [])
        self.join("a")
        self.assertEqual(self.connector.GetParticipants("a"), [])


if __name__ == "__main__":
    unittest.main()
