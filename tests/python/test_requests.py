"""Cookies, the asynchronous road and the synchronous road."""
import unittest

import _talkwire
import voicesdk

from support import (E_FAIL, CollectEagerly, ConnectorTest, RecordingListener, fields, finalizing_garbage,
                     needs_platform_faults, pump)


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


DEVICES = ["device %02d %s" % (n, "-" * 40) for n in range(40)]


class AnswerKeptForItsReaderTest(ConnectorTest):
    """A synchronous call reads its answer while it builds Python objects; a
    collection can run in between, and a finalizer may pump the thread's
    messages or drop a connector.  The answer's posted copy waits in a
    mailbox meanwhile: nothing may release it before the reader is done."""

    def setUp(self):
        ConnectorTest.setUp(self)
        voicesdk.answer("aux_get_capture_devices", devices=DEVICES, current_device=DEVICES[7])
        voicesdk.answer("aux_get_render_devices", devices=DEVICES[::-1], current_device=DEVICES[0])
        for kind in ("aux_set_capture_device", "aux_set_render_device", "aux_capture_audio_start",
                     "aux_capture_audio_stop", "aux_set_mic_level", "aux_set_speaker_level"):
            voicesdk.answer(kind)
        voicesdk.answer("aux_get_mic_level", level=50)
        voicesdk.answer("aux_get_speaker_level", level=25)
        voicesdk.answer("sessiongroup_create", session_group_handle="group-1")

    def entries(self, connector):
        """Every synchronous call, with what it returns."""
        return [
            ("GetAudioInputDevices", connector.GetAudioInputDevices, list(enumerate(DEVICES))),
            ("GetAudioOutputDevices", connector.GetAudioOutputDevices, list(enumerate(DEVICES[::-1]))),
            ("GetPreferredAudioInputDevice", connector.GetPreferredAudioInputDevice, 7),
            ("GetPreferredAudioOutputDevice", connector.GetPreferredAudioOutputDevice, 39),
            ("SetPreferredAudioInputDevice", lambda: connector.SetPreferredAudioInputDevice(3), None),
            ("SetPreferredAudioOutputDevice", lambda: connector.SetPreferredAudioOutputDevice(3), None),
            ("StartAudioTest", connector.StartAudioTest, None),
            ("StopAudioTest", connector.StopAudioTest, None),
            ("GetMicrophoneVolume", connector.GetMicrophoneVolume, 16000),
            ("GetSpeakerVolume", connector.GetSpeakerVolume, 8000),
            ("SetMicrophoneVolume", lambda: connector.SetMicrophoneVolume(10), None),
            ("SetSpeakerVolume", lambda: connector.SetSpeakerVolume(10), None),
        ]

    def pump_now(self):
        voicesdk.post_quit()
        _talkwire.Connector.Run(self.connector)

    def test_every_synchronous_call_with_a_collection_that_pumps(self):
        reading = []
        pumped_while_reading = set()

        def pump_in_finalizer():
            # A response alive here is the answer being read: the pump meets
            # its posted copy.
            if reading and voicesdk.live()["responses"]:
                pumped_while_reading.add(reading[0])
            self.pump_now()
            # Garbage made now is collected at one of the next allocations,
            # which may be the reader's.
            if reading and len(reading) < 4:
                reading.append(None)
                finalizing_garbage(pump_in_finalizer, 1)

        with CollectEagerly():
            for name, call, expected in self.entries(self.connector):
                for _ in range(10):
                    self.pump_now()
                    # The interpreter keeps up to 2000 spare pairs, which
                    # are reused without counting as allocations: taken
                    # here, the reader's pairs are new, and collections run
                    # between them.
                    spare_pairs = [(n, n) for n in range(2500)]
                    reading.append(name)
                    finalizing_garbage(pump_in_finalizer)
                    result = call()
                    del reading[:]
                    del spare_pairs
                    self.assertEqual(result, expected, name)
        # The lists are where the reading makes objects, and so collections.
        self.assertLessEqual({"GetAudioInputDevices", "GetAudioOutputDevices"}, pumped_while_reading)
        self.pump()

    def test_session_group_made_inside_a_dispatch_that_a_collection_pumps(self):
        voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {}, connector_handle="conn-1")
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, account_handle="acct-1")
        self.pump()
        for n in range(10):
            name = "chan-%d" % n
            self.connector.JoinChannelEx(name)
            voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create", {"channel_name": name}, channel_uri="sip:" + name)
            self.assertTrue(voicesdk.flush(5.0))
            with CollectEagerly():
                finalizing_garbage(self.pump_now)
                self.pump()
            self.connector.LeaveChannel(name)
            self.pump()
        self.assertEqual(len(self.requests("sessiongroup_create")), 1)

    def test_connector_holding_the_copy_dropped_while_the_answer_is_read(self):
        """The SDK gives the posted copy to the first connector registered,
        which a finalizer drops in the middle of another one's call."""
        caller = _talkwire.Connector(RecordingListener())
        reading = []
        dropped_while_reading = []

        def drop_the_first():
            if reading and voicesdk.live()["responses"] and self.connector is not None:
                dropped_while_reading.append(True)
                self.connector = None
            elif reading and len(reading) < 4:
                reading.append(None)
                finalizing_garbage(drop_the_first, 1)

        with CollectEagerly():
            for _ in range(10):
                spare_pairs = [(n, n) for n in range(2500)]
                reading.append(True)
                finalizing_garbage(drop_the_first)
                devices = caller.GetAudioInputDevices()
                del reading[:]
                del spare_pairs
                self.assertEqual(devices, list(enumerate(DEVICES)))
                if self.connector is None:
                    # The new one registers behind the caller: the first
                    # place goes back to a connector that is not calling.
                    self.connector = caller
                    caller = _talkwire.Connector(RecordingListener())
                pump(caller)
        self.assertTrue(dropped_while_reading)
        del caller


if __name__ == "__main__":
    unittest.main()
