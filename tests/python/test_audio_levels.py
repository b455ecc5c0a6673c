"""The microphone test, microphone and speaker levels on the 0 to 32000
scale, and the local microphone and speaker mutes."""
import unittest

import voicesdk

from support import ConnectorTest, fields

MIC_LEVEL_EVENT = voicesdk.EVENT_AUX_AUDIO_PROPERTIES


class ConnectorHandleMixin(object):
    def give_connector_handle(self, handle="connector-1"):
        voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {}, connector_handle=handle)
        self.pump()
        voicesdk.clear_requests()


class LevelReadTest(ConnectorTest):
    def test_levels_become_volumes(self):
        for level, volume in [(50, 16000), (100, 32000), (0, 0), (-1, -320), (125, 40000)]:
            voicesdk.answer("aux_get_mic_level", level=level, once=True)
            voicesdk.answer("aux_get_speaker_level", level=level, once=True)
            self.assertEqual(self.connector.GetMicrophoneVolume(), volume)
            self.assertEqual(self.connector.GetSpeakerVolume(), volume)
        self.pump()

    def test_levels_beyond_the_scale_wrap_like_32_bits(self):
        voicesdk.answer("aux_get_mic_level", level=2 ** 31 - 1)
        self.assertEqual(self.connector.GetMicrophoneVolume(), -320)
        self.pump()


class LevelWriteTest(ConnectorHandleMixin, ConnectorTest):
    def setUp(self):
        super(LevelWriteTest, self).setUp()
        voicesdk.answer("aux_set_mic_level")
        voicesdk.answer("aux_set_speaker_level")

    def sent_levels(self, volume):
        voicesdk.clear_requests()
        self.assertIsNone(self.connector.SetMicrophoneVolume(volume))
        self.assertIsNone(self.connector.SetSpeakerVolume(volume))
        values = [fields(r) for r in voicesdk.requests()]
        return values

    def test_volume_to_level_table(self):
        self.give_connector_handle()
        for volume, level in [(16000, 50), (100, 0), (40000, 125), (32000, 100), (319, 0), (320, 1),
                              (-320, -1)]:
            sent = self.sent_levels(volume)
            self.assertEqual(sent, [{"requested_level": level},
                                    {"connector_handle": "connector-1", "volume": level},
                                    {"requested_level": level},
                                    {"connector_handle": "connector-1", "volume": level}], volume)
        self.pump()

    def test_volumes_beyond_32_bit_products_still_convert(self):
        self.assertEqual(self.sent_levels(2 ** 31 - 1)[0], {"requested_level": 6710886})
        self.assertEqual(self.sent_levels(-2 ** 31)[0], {"requested_level": -6710886})
        self.assertEqual(self.sent_levels(21474837)[0], {"requested_level": 67108})
        self.pump()

    def test_request_order_kinds_and_cookies(self):
        self.give_connector_handle()
        self.connector.SetMicrophoneVolume(16000)
        self.connector.SetSpeakerVolume(16000)
        recorded = [(r["kind"], r["cookie"], r["sync"]) for r in voicesdk.requests()]
        self.assertEqual(recorded, [("aux_set_mic_level", "1", True),
                                    ("connector_set_local_mic_volume", "2", False),
                                    ("aux_set_speaker_level", "3", True),
                                    ("connector_set_local_speaker_volume", "4", False)])
        self.pump()

    def test_without_connector_handle_only_the_device_level(self):
        self.connector.SetMicrophoneVolume(16000)
        self.connector.SetSpeakerVolume(100)
        self.assertEqual([r["kind"] for r in voicesdk.requests()], ["aux_set_mic_level", "aux_set_speaker_level"])
        self.pump()

    def test_device_level_failure_still_sets_the_connector_level(self):
        self.give_connector_handle()
        voicesdk.answer("aux_set_mic_level", return_code=1, status_code=2020, once=True)
        self.assertWindowsError(2020, "Couldn't set microphone volume", self.connector.SetMicrophoneVolume, 32000)
        self.assertEqual([(r["kind"], r["accepted"]) for r in voicesdk.requests()],
                         [("aux_set_mic_level", True), ("connector_set_local_mic_volume", True)])
        voicesdk.clear_requests()
        voicesdk.refuse(44)
        self.assertWindowsError(44, "Couldn't set speaker volume", self.connector.SetSpeakerVolume, 32000)
        self.assertEqual([(r["kind"], r["accepted"]) for r in voicesdk.requests()],
                         [("aux_set_speaker_level", False), ("connector_set_local_speaker_volume", True)])
        self.pump()

    def test_connector_level_refusal_wins(self):
        self.give_connector_handle()
        voicesdk.refuse(61, count=2)
        self.assertWindowsError(61, "Couldn't set connector microphone volume",
                                self.connector.SetMicrophoneVolume, 1)
        voicesdk.refuse(62, count=2)
        self.assertWindowsError(62, "Couldn't set connector speaker volume", self.connector.SetSpeakerVolume, 1)
        self.assertTrue(all(not r["accepted"] for r in voicesdk.requests()))

    def test_omitted_or_bad_volume_issues_nothing(self):
        for method, name in [(self.connector.SetMicrophoneVolume, "SetMicrophoneVolume"),
                             (self.connector.SetSpeakerVolume, "SetSpeakerVolume")]:
            with self.assertRaises(TypeError) as caught:
                method()
            self.assertIn(name, str(caught.exception))
            with self.assertRaises(TypeError):
                method("16000")
            with self.assertRaises(TypeError):
                method(1, 2)
        self.assertEqual(voicesdk.requests(), [])


class AudioTestTest(ConnectorTest):
    def mic_event(self, active):
        voicesdk.event(MIC_LEVEL_EVENT, mic_active=active, mic_energy=0.5)
        self.pump()

    def test_flag_lifecycle(self):
        voicesdk.answer("aux_capture_audio_start")
        voicesdk.answer("aux_capture_audio_stop")
        self.assertEqual(self.connector.GetAudioTestPassed(), 0)
        self.assertIsNone(self.connector.StartAudioTest())
        self.pump()
        self.assertEqual(self.connector.GetAudioTestPassed(), 0)
        self.mic_event(0)
        self.assertEqual(self.connector.GetAudioTestPassed(), 0)
        self.mic_event(1)
        self.assertEqual(self.connector.GetAudioTestPassed(), 1)
        self.assertIsNone(self.connector.StopAudioTest())
        self.pump()
        self.assertEqual(self.connector.GetAudioTestPassed(), 1)
        self.connector.StartAudioTest()
        self.assertEqual(self.connector.GetAudioTestPassed(), 0)
        self.assertEqual([(r["kind"], r["sync"], r["fields"]) for r in voicesdk.requests()],
                         [("aux_capture_audio_start", True, [("duration_ms", 0)]),
                          ("aux_capture_audio_stop", True, []),
                          ("aux_capture_audio_start", True, [("duration_ms", 0)])])
        self.pump()

    def test_failed_start_still_clears_the_flag(self):
        self.mic_event(1)
        voicesdk.answer("aux_capture_audio_start", return_code=1, status_code=505)
        self.assertWindowsError(505, "Couldn't get start mic audio test", self.connector.StartAudioTest)
        self.assertEqual(self.connector.GetAudioTestPassed(), 0)
        self.pump()

    def test_failed_stop_keeps_the_flag(self):
        self.mic_event(1)
        voicesdk.refuse(9)
        self.assertWindowsError(9, "Couldn't get stop mic audio test", self.connector.StopAudioTest)
        self.assertEqual(self.connector.GetAudioTestPassed(), 1)


class LocalMuteTest(ConnectorHandleMixin, ConnectorTest):
    def test_talk_defaults_to_zero_and_passes_values_through(self):
        self.assertIsNone(self.connector.Talk())
        self.connector.Talk(5)
        self.connector.Talk(-1)
        talks = self.requests("connector_mute_local_mic")
        self.assertEqual([(r["cookie"], r["fields"]) for r in talks],
                         [("1", [("connector_handle", ""), ("mute", 0)]),
                          ("2", [("connector_handle", ""), ("mute", 5)]),
                          ("3", [("connector_handle", ""), ("mute", -1)])])

    def test_mute_speakers_carries_the_handle(self):
        self.give_connector_handle("c9")
        self.assertIsNone(self.connector.MuteSpeakers(1))
        self.connector.Talk(1)
        self.assertEqual([(r["kind"], r["fields"]) for r in voicesdk.requests()],
                         [("connector_mute_local_speaker", [("connector_handle", "c9"), ("mute", 1)]),
                          ("connector_mute_local_mic", [("connector_handle", "c9"), ("mute", 1)])])

    def test_refusals_raise_their_messages(self):
        voicesdk.refuse(3)
        self.assertWindowsError(3, "Couldn't mute microphone", self.connector.Talk, 1)
        voicesdk.refuse(4)
        self.assertWindowsError(4, "Couldn't mute speakers", self.connector.MuteSpeakers, 0)

    def test_mute_speakers_needs_its_value(self):
        with self.assertRaises(TypeError) as caught:
            self.connector.MuteSpeakers()
        self.assertIn("MuteSpeakers", str(caught.exception))
        with self.assertRaises(TypeError):
            self.connector.Talk("1")
        self.assertEqual(voicesdk.requests(), [])


if __name__ == "__main__":
    unittest.main()
