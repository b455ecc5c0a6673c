"""Faults injected through voicesdk at every point where the module meets
the SDK or the platform: refused requests, copies the SDK cannot make,
events, threads and windows that cannot be created, wake-ups that cannot
be posted.  Each ends in its defined error with nothing leaked, and the
connector goes on working afterwards."""
import sys
import threading
import time
import unittest

import _talkwire
import voicesdk

from reliability_support import CHANNEL, PARTICIPANT, JoinedConnectorTest, answer_synchronous_requests, observe
from support import E_FAIL, OTHER_EVENT, RecordingListener, Unraisables, needs_platform_faults, pump

REFUSED = 77

# (label, call, message raised when its first request is refused, kind of
# that request).  Every issue point a method call reaches, on a joined
# connector.
ISSUE_POINTS = [
    ("Login", lambda c: c.Login("user", "pw"), "Couldn't do Login", "account_login"),
    ("Logout", lambda c: c.Logout(), "Couldn't do Logout", "account_logout"),
    ("InitiateShutdown", lambda c: c.InitiateShutdown(), "Couldn't do InitiateShutdown",
     "connector_initiate_shutdown"),
    ("CreateAccount", lambda c: c.CreateAccount("u", "p", "t", "d"), "Error creating account", "aux_create_account"),
    ("Mute", lambda c: c.Mute(1), "Couldn't mute microphone.", "connector_mute_local_mic"),
    ("JoinChannelEx", lambda c: c.JoinChannelEx("new"), "Couldn't create channel", "account_channel_create"),
    ("LeaveChannel", lambda c: c.LeaveChannel(CHANNEL), "Couldn't Leave Channel", "sessiongroup_remove_session"),
    ("GetPreferredAudioInputDevice", lambda c: c.GetPreferredAudioInputDevice(),
     "Couldn't get preferred audio input device", "aux_get_capture_devices"),
    ("SetPreferredAudioInputDevice", lambda c: c.SetPreferredAudioInputDevice(0),
     "Couldn't get preferred audio input device", "aux_get_capture_devices"),
    ("GetAudioInputDevices", lambda c: c.GetAudioInputDevices(), "Couldn't get preferred audio input device",
     "aux_get_capture_devices"),
    ("GetPreferredAudioOutputDevice", lambda c: c.GetPreferredAudioOutputDevice(),
     "Couldn't get preferred audio output device", "aux_get_render_devices"),
    ("SetPreferredAudioOutputDevice", lambda c: c.SetPreferredAudioOutputDevice(0),
     "Couldn't get preferred audio output device", "aux_get_render_devices"),
    ("GetAudioOutputDevices", lambda c: c.GetAudioOutputDevices(), "Couldn't get preferred audio output device",
     "aux_get_render_devices"),
    ("StartAudioTest", lambda c: c.StartAudioTest(), "Couldn't get start mic audio test", "aux_capture_audio_start"),
    ("StopAudioTest", lambda c: c.StopAudioTest(), "Couldn't get stop mic audio test", "aux_capture_audio_stop"),
    ("GetMicrophoneVolume", lambda c: c.GetMicrophoneVolume(), "Couldn't get microphone volume",
     "aux_get_mic_level"),
    ("SetMicrophoneVolume", lambda c: c.SetMicrophoneVolume(16000), "Couldn't set microphone volume",
     "aux_set_mic_level"),
    ("SetSpeakerVolume", lambda c: c.SetSpeakerVolume(16000), "Couldn't set speaker volume", "aux_set_speaker_level"),
    ("GetSpeakerVolume", lambda c: c.GetSpeakerVolume(), "Couldn't get speaker volume", "aux_get_speaker_level"),
    ("SetAudioPositionAndFacing", lambda c: c.SetAudioPositionAndFacing(CHANNEL, 1, 2, 3, 4, 5, 6, 0.5),
     "Couldn't set audio position", "session_set_3d_position"),
    ("Talk", lambda c: c.Talk(1), "Couldn't mute microphone", "connector_mute_local_mic"),
    ("MuteSpeakers", lambda c: c.MuteSpeakers(1), "Couldn't mute speakers", "connector_mute_local_speaker"),
    ("MuteParticipantForMe", lambda c: c.MuteParticipantForMe(CHANNEL, PARTICIPANT, 1), "Couldn't mute participant",
     "session_set_participant_mute_for_me"),
    ("SetParticipantVolumeForMe", lambda c: c.SetParticipantVolumeForMe(CHANNEL, PARTICIPANT, 16000),
     "Couldn't set volume for participant", "session_set_participant_volume_for_me"),
    ("RunTroubleShooter", lambda c: c.RunTroubleShooter(),
     "Couldn't do mConnector->raw_RunConnectivityTroubleshooter", "aux_connectivity_info"),
    ("EnableGlobalPushToTalkMode", lambda c: c.EnableGlobalPushToTalkMode([("ptt", 17)]), "Couldn't set key binding",
     "aux_global_monitor_keyboard_mouse"),
    ("SetSpeakingChannel", lambda c: c.SetSpeakingChannel(CHANNEL), "Couldn't set speaking channel",
     "sessiongroup_set_tx_session"),
    ("SetSpeakingChannel()", lambda c: c.SetSpeakingChannel(), "Couldn't clear speaking channel",
     "sessiongroup_set_tx_no_session"),
    ("MuteChannelOutput", lambda c: c.MuteChannelOutput(CHANNEL, 1), "Couldn't mute channel output",
     "session_mute_local_speaker"),
    ("SetChannelOutputVolume", lambda c: c.SetChannelOutputVolume(CHANNEL, 16000),
     "Couldn't set channel output volume", "session_set_local_speaker_volume"),
    ("ModeratorMuteAll", lambda c: c.ModeratorMuteAll(CHANNEL, 1), "Couldn't moderator mute all.",
     "channel_mute_all_users"),
    ("ModeratorMute", lambda c: c.ModeratorMute(CHANNEL, PARTICIPANT, 1), "Couldn't moderator mute all.",
     "channel_mute_user"),
]

LEVEL_SETTER_SECOND = ("connector_set_local_mic_volume", "connector_set_local_speaker_volume")

# Calls that, once they work, leave the joined state behind.
LEAVES = ("LeaveChannel",)

SYNCHRONOUS = set(kind for kind, _ in [
    ("sessiongroup_create", 0), ("aux_get_capture_devices", 0), ("aux_get_render_devices", 0),
    ("aux_set_capture_device", 0), ("aux_set_render_device", 0), ("aux_capture_audio_start", 0),
    ("aux_capture_audio_stop", 0), ("aux_get_mic_level", 0), ("aux_get_speaker_level", 0),
    ("aux_set_mic_level", 0), ("aux_set_speaker_level", 0)])


class FaultTest(JoinedConnectorTest):
    def assertStillWorks(self, label, call=None):
        """The connector still issues, answers synchronous calls and
        dispatches to its listener."""
        if call is not None:
            call(self.connector)
        self.assertEqual(self.connector.GetMicrophoneVolume(), 16000, label)
        self.listener.clear()
        voicesdk.event(OTHER_EVENT)
        self.pump()
        self.assertEqual(self.listener.of("OnConnectorEvent"), [(OTHER_EVENT, 0, 0)], label)
        voicesdk.clear_requests()

    def assertNothingLeft(self, label):
        self.assertTrue(voicesdk.flush(5.0), label)
        self.pump()
        self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 0, "events": 0}, label)


class RefusalTest(FaultTest):
    def test_every_issue_point_raises_the_refusal(self):
        for label, call, message, kind in ISSUE_POINTS:
            before, _ = observe(self.connector)
            voicesdk.refuse(REFUSED, 1)
            with self.assertRaises(OSError) as caught:
                call(self.connector)
            self.assertEqual((caught.exception.errno, caught.exception.filename), (REFUSED, message), label)
            refused = [r for r in voicesdk.requests() if not r["accepted"]]
            self.assertEqual([r["kind"] for r in refused], [kind], label)
            self.assertEqual(refused[0]["sync"], kind in SYNCHRONOUS, label)
            if label != "SetMicrophoneVolume" and label != "SetSpeakerVolume":
                self.assertEqual(len(voicesdk.requests()), 1, label)
            self.assertNothingLeft(label)
            after, _ = observe(self.connector)
            self.assertEqual(after, before, label)
            self.assertStillWorks(label, call)
            if label in LEAVES:
                self.fresh_joined()

    def test_second_issue_point_of_the_level_setters(self):
        for call, message in [(lambda c: c.SetMicrophoneVolume(8000), "Couldn't set connector microphone volume"),
                              (lambda c: c.SetSpeakerVolume(8000), "Couldn't set connector speaker volume")]:
            # Both refused: the connector-level error is the one raised.
            voicesdk.refuse(REFUSED + 1, 2)
            with self.assertRaises(OSError) as caught:
                call(self.connector)
            self.assertEqual((caught.exception.errno, caught.exception.filename), (REFUSED + 1, message))
            self.assertEqual([r["accepted"] for r in voicesdk.requests()], [False, False])
            self.assertNothingLeft(message)
            self.assertStillWorks(message, call)

    def test_refused_connector_creation_is_silent(self):
        voicesdk.refuse(REFUSED, 1)
        self.assertIsNone(self.connector.InitializeEx("orb"))
        deadline = time.time() + 5.0
        while not voicesdk.requests() and time.time() < deadline:
            time.sleep(0.001)
        self.assertEqual([r["accepted"] for r in voicesdk.requests()], [False])
        self.assertNothingLeft("InitializeEx")
        self.assertEqual(self.listener.calls, [])
        self.assertStillWorks("InitializeEx")


class HandlerIssuePointTest(FaultTest):
    """Requests issued from inside the handlers have no Python caller: the
    refusal reaches the unraisable hook and the registry stays as it was."""

    def create(self, name):
        self.connector.JoinChannelEx(name)
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create", {"channel_name": name},
                            channel_uri="sip:" + name)

    def placed_with_session(self, name, session):
        self.create(name)
        self.pump()
        voicesdk.respond_to(voicesdk.RESPONSE_SESSIONGROUP_ADD_SESSION, "sessiongroup_add_session",
                            {"channel_name": name}, session_handle=session)
        self.pump()

    def assertUnraisable(self, seen, messages):
        """What reached the unraisable hook: the errors' messages, or their
        types (3.8+); one line of text per error on older interpreters."""
        if hasattr(sys, "unraisablehook"):
            self.assertEqual([getattr(error, "filename", None) or type(error) for error in seen], messages)
        else:
            self.assertEqual(len([text for text in seen if "ignored" in text]), len(messages))

    def test_refused_add_session_leaves_the_channel_created(self):
        self.create("b")
        voicesdk.refuse(REFUSED, 1)
        with Unraisables() as seen:
            self.pump()
        self.assertUnraisable(seen.seen, ["Couldn't create voice session."])
        self.assertEqual(self.connector.ChannelJoinInProgressCount(), 2)  # chan, and b Created
        self.assertNothingLeft("add session")
        self.connector.LeaveChannel("b")  # a Created record goes without a request
        self.assertEqual(self.connector.ChannelJoinInProgressCount(), 1)
        self.assertStillWorks("add session")

    def test_failed_session_group_creation_leaves_no_group(self):
        faults = ("refuse", "create_event", "fail_strdup") if voicesdk.PLATFORM_FAULTS else ("refuse", "fail_strdup")
        for fault in faults:
            self.fresh_logged_in()
            self.create("b")
            if fault == "refuse":
                voicesdk.refuse(REFUSED, 1)
            elif fault == "create_event":
                voicesdk.fault("create_event")
            else:
                voicesdk.fail_strdup(1)
            with Unraisables() as seen:
                self.pump()
            self.assertUnraisable(seen.seen, [MemoryError] if fault == "fail_strdup"
                                  else ["Couldn't create session group."])
            self.assertFalse([r for r in voicesdk.requests() if r["kind"] == "sessiongroup_add_session"], fault)
            self.connector.SetSpeakingChannel()  # sends the group handle: still none
            self.assertEqual(voicesdk.requests()[-1]["fields"], [("sessiongroup_handle", "")], fault)
            self.assertNothingLeft(fault)
            self.assertStillWorks(fault)
            del seen  # its exceptions hold the frames that hold the connector

    def fresh_logged_in(self):
        self.connector = None
        voicesdk.flush(5.0)
        voicesdk.reset()
        voicesdk.fault_clear()
        answer_synchronous_requests()
        self.connector = _talkwire.Connector(self.listener)
        voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {}, connector_handle="conn-1")
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, account_handle="acct-1")
        self.pump()
        voicesdk.clear_requests()

    def test_refused_termination_keeps_the_state(self):
        self.placed_with_session("b", "sess-b")
        self.connector.LeaveChannel("b")  # Leaving, no longer desired
        voicesdk.refuse(REFUSED, 2)
        with Unraisables() as seen:
            # Connected although left: hung up quietly; refused twice.
            voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, session_handle="sess-b", media_state=2)
            voicesdk.event(voicesdk.EVENT_SESSION_STATE_CHANGE, session_state=4, session_flag=1, channel_name="b")
            self.pump()
        self.assertUnraisable(seen.seen, ["Couldn't terminate voice session", "Couldn't terminate voice session"])
        self.assertEqual(self.connector.ChannelJoinInProgressCount(), 2)  # b still Leaving
        voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, session_handle="sess-b", media_state=1)
        self.pump()
        self.assertEqual(self.connector.ChannelJoinInProgressCount(), 1)
        self.assertNothingLeft("terminate")
        self.assertStillWorks("terminate")


class AllocationFailureTest(FaultTest):
    def test_every_request_that_cannot_be_built_is_released(self):
        for label, call, _, kind in ISSUE_POINTS:
            for failures in (1, 1000):
                before, _ = observe(self.connector)
                voicesdk.fail_strdup(failures)
                try:
                    with self.assertRaises(MemoryError, msg=label):
                        call(self.connector)
                finally:
                    voicesdk.fail_strdup(0)
                issued = [r["kind"] for r in voicesdk.requests()]
                # The level setters set the connector's level whatever
                # became of the device's.
                self.assertEqual(issued, [k for k in issued if k in LEVEL_SETTER_SECOND], label)
                self.assertEqual(voicesdk.live()["requests"], 0, label)
                after, _ = observe(self.connector)
                self.assertEqual(after, before, label)
                self.assertNothingLeft(label)
                self.assertStillWorks(label, call)
                if label in LEAVES:
                    self.fresh_joined()

    def test_connector_creation_that_cannot_be_built(self):
        before, _ = observe(self.connector)
        voicesdk.fail_strdup(1)
        with self.assertRaises(MemoryError):
            self.connector.InitializeEx("elsewhere")
        self.assertEqual(voicesdk.live()["requests"], 0)
        after, _ = observe(self.connector)
        self.assertEqual(after, before)  # the voice domain is untouched
        self.assertStillWorks("InitializeEx", lambda c: c.InitializeEx("orb"))


@needs_platform_faults
class PlatformFaultTest(FaultTest):
    def test_no_event_for_a_synchronous_call(self):
        for label, call, message, kind in ISSUE_POINTS:
            if kind not in SYNCHRONOUS:
                continue
            before, _ = observe(self.connector)
            voicesdk.fault("create_event")
            with self.assertRaises(OSError) as caught:
                call(self.connector)
            self.assertEqual((caught.exception.errno, caught.exception.filename), (E_FAIL, message), label)
            # Nothing synchronous was issued (the level setters still set
            # the connector's own level).
            self.assertFalse([r for r in voicesdk.requests() if r["sync"]], label)
            self.assertEqual(voicesdk.live()["requests"], 0, label)
            if kind not in ("aux_set_mic_level", "aux_set_speaker_level"):
                self.assertEqual(observe(self.connector)[0], before, label)
            self.assertNothingLeft(label)
            self.assertStillWorks(label, call)

    def test_no_thread_for_connector_creation(self):
        voicesdk.fault("create_thread", error=8)
        self.assertWindowsError(8, "Error Creating Thread", self.connector.InitializeEx, "other")
        time.sleep(0.05)
        self.assertEqual(voicesdk.requests(), [])
        self.assertEqual(voicesdk.live()["requests"], 0)
        # The domain was stored before the thread was asked for.
        state, _ = observe(self.connector)
        troubleshooter = [dict(fields) for kind, fields in state["probes"] if kind == "aux_connectivity_info"]
        self.assertTrue(troubleshooter[0]["stun_server"].startswith("stun.other."))
        self.assertStillWorks("InitializeEx", lambda c: c.InitializeEx("orb"))
        deadline = time.time() + 5.0
        while voicesdk.live()["requests"] and time.time() < deadline:
            time.sleep(0.001)
        self.assertNothingLeft("InitializeEx")

    def test_connectors_without_a_window(self):
        for fault in ("register_class", "create_window"):
            voicesdk.fault(fault, error=1400)
            listener = RecordingListener()
            lonely = _talkwire.Connector(listener)
            # Synchronous calls complete; requests issue; messages for it
            # are released undelivered.
            self.connector = None
            self.assertEqual(lonely.GetMicrophoneVolume(), 16000, fault)
            lonely.RunTroubleShooter()
            voicesdk.event(OTHER_EVENT)
            voicesdk.respond_to(voicesdk.RESPONSE_AUX_CONNECTIVITY_INFO, "aux_connectivity_info", {}, test_results=[])
            pump(lonely)
            self.assertEqual(listener.calls, [], fault)
            self.assertTrue(voicesdk.flush(5.0))
            self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 0, "events": 0}, fault)
            del lonely
            self.assertEqual(voicesdk.handlers(), 0)
            self.connector = _talkwire.Connector(self.listener)
            self.assertStillWorks(fault)
            self.connector = None

    def test_failed_wake_up_delays_but_loses_nothing(self):
        voicesdk.fault("post_message", count=1)
        voicesdk.event(OTHER_EVENT)
        self.assertTrue(voicesdk.flush(5.0))
        self.pump()
        self.assertEqual(self.listener.calls, [])  # no wake-up reached the window
        voicesdk.event(voicesdk.EVENT_AUX_AUDIO_PROPERTIES, mic_active=0, mic_energy=0.25)
        self.pump()
        self.assertEqual(self.listener.names(), ["OnConnectorEvent", "OnMicrophoneIntensityEvent"])
        # A failed wake-up with the connector then gone: the mailbox
        # releases what it kept.
        voicesdk.fault("post_message", count=1)
        voicesdk.event(OTHER_EVENT)
        voicesdk.answer("aux_get_mic_level", level=10, once=True)
        self.assertEqual(self.connector.GetMicrophoneVolume(), 3200)
        self.assertTrue(voicesdk.flush(5.0))
        self.connector = None
        self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 0, "events": 0})

    def test_every_platform_fault_then_work_as_usual(self):
        """All of them at once, repeatedly, then none."""
        for _ in range(3):
            for fault in ("create_event", "create_thread", "register_class", "create_window", "post_message"):
                voicesdk.fault(fault, count=2, error=5)
            extra = _talkwire.Connector(RecordingListener())
            for call in (lambda c: c.GetMicrophoneVolume(), lambda c: c.InitializeEx("orb"),
                         lambda c: c.StartAudioTest()):
                try:
                    call(self.connector)
                except OSError:
                    pass
            voicesdk.event(OTHER_EVENT)
            self.pump()
            del extra
            voicesdk.fault_clear()
        # Messages behind a failed wake-up wait for the next delivery.
        voicesdk.event(OTHER_EVENT)
        deadline = time.time() + 5.0
        while voicesdk.live()["requests"] and time.time() < deadline:
            time.sleep(0.001)
        self.assertNothingLeft("all faults")
        self.assertStillWorks("all faults")


class QuitSurvivesConnectorEndTest(unittest.TestCase):
    def setUp(self):
        voicesdk.reset()

    def test_destroying_a_connector_keeps_the_pending_quit(self):
        """The quit belongs to the thread's pump, not to the window that is
        going: Run must still see it."""
        doomed = _talkwire.Connector(RecordingListener())
        survivor = _talkwire.Connector(RecordingListener())
        voicesdk.event(OTHER_EVENT)
        self.assertTrue(voicesdk.flush(5.0))  # a wake-up waits for the doomed window
        voicesdk.post_quit()
        del doomed
        rescued = []
        finished = threading.Event()
        main = voicesdk.thread_id()

        def watchdog():
            if not finished.wait(5.0):
                rescued.append(True)
                voicesdk.post_quit(main)

        guard = threading.Thread(target=watchdog)
        guard.start()
        survivor.Run()
        finished.set()
        guard.join()
        self.assertEqual(rescued, [], "Run did not see the quit")
        del survivor
        self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 0, "events": 0})


if __name__ == "__main__":
    unittest.main()
