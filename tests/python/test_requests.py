"""Cookies, the asynchronous road and the synchronous road."""
import unittest

import _talkwire
import voicesdk

from support import E_FAIL, ConnectorTest, RecordingListener, fields, needs_platform_faults, pump


class CookieTest(ConnectorTest):
    def test_numbering_starts_at_one_and_counts_every_request(self):
        for _ in range(10):
            self.connector.RunTroubleShooter()
        self.connector.RunTroubleShooter()
        cookies = [r["cookie"] for r in voicesdk.requests()]
        self.assertEqual(cookies, [str(n) for n in range(1, 12)])

    def test_connectors_number_independently(self):
        other = _talkwire.Connector(RecordingListener())
        self.connector.RunTroubleShooter()
        self.connector.RunTroubleShooter()
        other.RunTroubleShooter()
        self.assertEqual([r["cookie"] for r in voicesdk.requests()], ["1", "2", "1"])
        del other

    def test_refused_issue_consumes_a_number(self):
        voicesdk.refuse(7)
        with self.assertRaises(OSError) as caught:
            self.connector.RunTroubleShooter()
        self.assertEqual(caught.exception.errno, 7)
        self.connector.RunTroubleShooter()
        recorded = voicesdk.requests()
        self.assertEqual([(r["cookie"], r["accepted"]) for r in recorded], [("1", False), ("2", True)])


class AsynchronousRoadTest(ConnectorTest):
    def test_request_fields_and_no_user_pointer(self):
        self.assertIsNone(self.connector.RunTroubleShooter())
        request = self.last_request("aux_connectivity_info")
        self.assertFalse(request["sync"])
        self.assertEqual(fields(request)["stun_server"], "stun.")
        self.assertEqual(fields(request)["numeric_setting_1"], 50505)

    def test_refusal_raises_with_the_sdk_value(self):
        voicesdk.refuse(-5)
        self.assertWindowsError(-5, "Couldn't do mConnector->raw_RunConnectivityTroubleshooter",
                                self.connector.RunTroubleShooter)


class SynchronousRoadTest(ConnectorTest):
    def test_success_reads_the_response_and_releases_it_once(self):
        voicesdk.answer("aux_get_mic_level", level=50)
        self.assertEqual(self.connector.GetMicrophoneVolume(), 16000)
        request = self.last_request("aux_get_mic_level")
        self.assertTrue(request["sync"])
        # The posted copy is still queued for the window until Run dispatches it.
        self.assertEqual(voicesdk.live()["responses"], 1)
        self.pump()
        self.assertEqual(voicesdk.live()["responses"], 0)

    def test_failed_response_raises_its_status_code(self):
        voicesdk.answer("aux_get_speaker_level", return_code=1, status_code=1234, status_text="no")
        self.assertWindowsError(1234, "Couldn't get speaker volume", self.connector.GetSpeakerVolume)
        self.pump()

    def test_failed_response_without_status_code_uses_last_error(self):
        voicesdk.answer("aux_get_speaker_level", return_code=1, status_code=0)
        with self.assertRaises(OSError) as caught:
            self.connector.GetSpeakerVolume()
        self.assertEqual(caught.exception.filename, "Couldn't get speaker volume")
        self.pump()

    def test_refused_issue(self):
        voicesdk.answer("aux_get_mic_level", level=10)
        voicesdk.refuse(99)
        self.assertWindowsError(99, "Couldn't get microphone volume", self.connector.GetMicrophoneVolume)
        self.assertEqual(self.connector.GetMicrophoneVolume(), 3200)
        self.pump()

    def test_once_rules_answer_in_order(self):
        voicesdk.answer("aux_get_mic_level", level=1, once=True)
        voicesdk.answer("aux_get_mic_level", level=2, once=True)
        voicesdk.answer("aux_get_mic_level", level=3)
        values = [self.connector.GetMicrophoneVolume() for _ in range(4)]
        self.assertEqual(values, [320, 640, 960, 960])
        self.pump()

    @needs_platform_faults
    def test_no_event_means_no_request(self):
        voicesdk.fault("create_event")
        self.assertWindowsError(E_FAIL, "Couldn't get microphone volume", self.connector.GetMicrophoneVolume)
        self.assertEqual(voicesdk.requests(), [])
        self.assertEqual(voicesdk.live()["requests"], 0)

    @needs_platform_faults
    def test_connector_without_window_still_completes(self):
        voicesdk.fault("create_window")
        lonely = _talkwire.Connector(RecordingListener())
        self.connector = None  # only the windowless connector is registered now
        voicesdk.answer("aux_get_mic_level", level=100)
        self.assertEqual(lonely.GetMicrophoneVolume(), 32000)
        # Its post failed, so the caller released the response itself.
        self.assertTrue(voicesdk.flush(5.0))
        self.assertEqual(voicesdk.live()["responses"], 0)
        del lonely


if __name__ == "__main__":
    unittest.main()
