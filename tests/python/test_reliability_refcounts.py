"""Reference discipline: every operation and every callback path, repeated,
leaves the reference counts of the listener, None, the arguments and the
callback results where they were (and, on a debug interpreter, the total
reference count); a listener may drop the last reference to its connector
inside any callback."""
import gc
import sys
import unittest

import _talkwire
import voicesdk

from reliability_support import (CHANNEL, PARTICIPANT, SESSION, JoinedConnectorTest, answer_synchronous_requests,
                                 make_joined)
from support import OTHER_EVENT, RecordingListener, Unraisables, assert_nothing_left, pump

REPEATS = 40


def fresh(text):
    """A text object nobody else holds (literals are shared)."""
    return "".join(list(text))


def total_refcount():
    """The interpreter's total reference count (debug builds), else None."""
    counter = getattr(sys, "gettotalrefcount", None)
    return counter() if counter else None


class Counted(object):
    """Reference counts of the objects a test watches.  Make one per test
    and call start() before each measured stretch, so that no earlier
    measurement still holds references."""

    def __init__(self, objects):
        self.objects = objects
        self.start()

    def start(self):
        self.counts = None
        counts = self.take()
        self.total = total_refcount()
        self.counts = counts

    def take(self):
        return [sys.getrefcount(item) for item in self.objects]

    def changes(self, repeats):
        """Human-readable drift, or [] when there is none.  None's count is
        shared with the whole interpreter: only a drift of one reference per
        repetition or more counts as a leak."""
        total = total_refcount()  # before this method makes objects of its own
        found = []
        after = self.take()
        for index, item in enumerate(self.objects):
            drift = after[index] - self.counts[index]
            if item is None:
                if abs(drift) >= repeats:
                    found.append("None drifted by %d" % drift)
            elif drift:
                found.append("%s #%d drifted by %d" % (type(item).__name__, index, drift))
        if total is not None and abs(total - self.total) >= repeats // 2:
            found.append("total references drifted by %d" % (total - self.total))
        return found


def valid_calls():
    """One good call per public method: (label, function of the connector).
    Each is repeatable on a joined connector whose synchronous requests are
    answered."""
    name = fresh("user")
    password = fresh("secret")
    channel = fresh(CHANNEL)
    participant = fresh(PARTICIPANT)
    bindings = [(fresh("ptt"), 17), (fresh("talk"), 18)]

    def run(connector):
        voicesdk.post_quit()
        return connector.Run()

    def retired(method, takes_argument=True):
        def call(connector):
            try:
                getattr(connector, method)(*([fresh("x")] if takes_argument else []))
            except OSError:
                pass
        return call

    calls = [
        ("InitializeLogging", retired("InitializeLogging")),
        ("Login", lambda c: c.Login(name, password)),
        ("Logout", lambda c: c.Logout()),
        ("InitiateShutdown", lambda c: c.InitiateShutdown()),
        ("CreateAccount", lambda c: c.CreateAccount(name, password, channel, participant)),
        ("PutAnswerMode", retired("PutAnswerMode")),
        ("Mute", lambda c: c.Mute(1)),
        ("InvokeTuningWizardEx", retired("InvokeTuningWizardEx", takes_argument=False)),
        ("PlaceCall", retired("PlaceCall")),
        ("Answer", retired("Answer", takes_argument=False)),
        ("LeaveChannel", lambda c: c.LeaveChannel(fresh("elsewhere"))),
        ("JoinChannel", retired("JoinChannel")),
        ("JoinChannelEx", lambda c: c.JoinChannelEx(fresh("another"))),
        ("InitializeEx", lambda c: c.InitializeEx(fresh("orb"), 1, fresh("."), fresh("voice"), fresh(".log"), 1)),
        ("GetParticipants", lambda c: c.GetParticipants(channel)),
        ("GetPreferredAudioInputDevice", lambda c: c.GetPreferredAudioInputDevice()),
        ("SetPreferredAudioInputDevice", lambda c: c.SetPreferredAudioInputDevice(1)),
        ("GetAudioInputDevices", lambda c: c.GetAudioInputDevices()),
        ("GetAudioInputDeviceLines", lambda c: c.GetAudioInputDeviceLines()),
        ("GetPreferredAudioInputDeviceLineNumber", lambda c: c.GetPreferredAudioInputDeviceLineNumber()),
        ("SetPreferredAudioInputDeviceLineNumber", lambda c: c.SetPreferredAudioInputDeviceLineNumber(channel, 3)),
        ("GetPreferredAudioOutputDevice", lambda c: c.GetPreferredAudioOutputDevice()),
        ("SetPreferredAudioOutputDevice", lambda c: c.SetPreferredAudioOutputDevice(0)),
        ("GetAudioOutputDevices", lambda c: c.GetAudioOutputDevices()),
        ("StartAudioTest", lambda c: c.StartAudioTest()),
        ("StopAudioTest", lambda c: c.StopAudioTest()),
        ("GetAudioTestPassed", lambda c: c.GetAudioTestPassed()),
        ("GetMicrophoneVolume", lambda c: c.GetMicrophoneVolume()),
        ("SetMicrophoneVolume", lambda c: c.SetMicrophoneVolume(16000)),
        ("SetAudioPositionAndFacing", lambda c: c.SetAudioPositionAndFacing(channel, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0,
                                                                            0.5)),
        ("SetSpeakerVolume", lambda c: c.SetSpeakerVolume(8000)),
        ("GetSpeakerVolume", lambda c: c.GetSpeakerVolume()),
        ("Talk", lambda c: c.Talk(1)),
        ("MuteSpeakers", lambda c: c.MuteSpeakers(1)),
        ("MuteParticipantForMe", lambda c: c.MuteParticipantForMe(channel, participant, 1)),
        ("SetParticipantVolumeForMe", lambda c: c.SetParticipantVolumeForMe(channel, participant, 16000)),
        ("RunTroubleShooter", lambda c: c.RunTroubleShooter()),
        ("EnableGlobalPushToTalkMode", lambda c: c.EnableGlobalPushToTalkMode(bindings)),
        ("DisableGlobalPushToTalkMode", lambda c: c.DisableGlobalPushToTalkMode()),
        ("SetSpeakingChannel", lambda c: c.SetSpeakingChannel(channel)),
        ("MuteChannelInput", lambda c: c.MuteChannelInput(channel, 1)),
        ("MuteChannelOutput", lambda c: c.MuteChannelOutput(channel, 1)),
        ("SetChannelInputVolume", lambda c: c.SetChannelInputVolume(channel, 9)),
        ("SetChannelOutputVolume", lambda c: c.SetChannelOutputVolume(channel, 16000)),
        ("ModeratorMuteAll", lambda c: c.ModeratorMuteAll(channel, 1)),
        ("ModeratorMute", lambda c: c.ModeratorMute(channel, participant, 1)),
        ("ChannelJoinInProgressCount", lambda c: c.ChannelJoinInProgressCount()),
        ("Run", run),
    ]
    # Small ints are shared by the whole interpreter: not watched.
    arguments = [name, password, channel, participant, bindings] + bindings + [text for text, _ in bindings]
    return calls, arguments


def refused(call, code=5):
    """The same call with the SDK refusing its first request."""
    def attempt(connector):
        voicesdk.refuse(code, 1)
        try:
            call(connector)
        except OSError:
            pass
        voicesdk.refuse(0, 0)
    return attempt


def bad_arguments(method):
    def attempt(connector):
        try:
            getattr(connector, method)(fresh("x"), None, 2 ** 40, fresh("y"))
        except (TypeError, OSError):  # retired methods raise whatever they get
            pass
    return attempt


# Queued SDK messages that make exactly one callback each (with the given
# name) on a joined connector, repeatably.
def callback_triggers():
    sdk = voicesdk
    return [
        ("OnInitialized", lambda: sdk.respond_to(sdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {},
                                                 connector_handle="conn-1")),
        # Only a connector with a handle shuts down: OnInitialized comes first.
        ("OnShutDown", lambda: (sdk.respond_to(sdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {},
                                               connector_handle="c"),
                                sdk.respond_to(sdk.RESPONSE_CONNECTOR_INITIATE_SHUTDOWN,
                                               "connector_initiate_shutdown", {}))),
        ("OnAccountCreated", lambda: sdk.respond_to(sdk.RESPONSE_AUX_CREATE_ACCOUNT, "aux_create_account", {})),
        ("OnCreateAccountFailed", lambda: sdk.respond_to(sdk.RESPONSE_AUX_CREATE_ACCOUNT, "aux_create_account", {},
                                                         return_code=1, status_code=44, status_text="taken")),
        ("OnAccountNotFound", lambda: sdk.respond_to(sdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, return_code=1,
                                                     status_code=20200)),
        ("FailedOnLogin", lambda: sdk.respond_to(sdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, return_code=1,
                                                 status_code=9)),
        ("OnLoggedIn", lambda: sdk.event(sdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=3)),
        ("FailedChannelCreate", lambda: sdk.respond_to(sdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create",
                                                       {"channel_name": "zz"},
                                                       return_code=1, status_code=3, status_text="no")),
        ("FailedJoinChannel", lambda: sdk.respond_to(sdk.RESPONSE_SESSION_CREATE, "session_create",
                                                     {"channel_name": "zz", "channel_uri": "sip:zz"},
                                                     return_code=1, status_code=3, status_text="t")),
        ("OnJoinedChannel", lambda: sdk.event(sdk.EVENT_SESSION_STATE_CHANGE, session_state=4, session_flag=1,
                                              channel_name="unknown")),
        ("OnLeftChannel", lambda: sdk.event(sdk.EVENT_SESSION_STATE_CHANGE, session_state=5,
                                            channel_name="unknown")),
        ("OnParticipantJoined", lambda: sdk.event(sdk.EVENT_PARTICIPANT_ADDED, session_handle=SESSION,
                                                  participant_uri="sip:bob", participant_type=0)),
        ("OnParticipantLeft", lambda: sdk.event(sdk.EVENT_PARTICIPANT_REMOVED, session_handle=SESSION,
                                                participant_uri="sip:bob")),
        ("OnParticipantStateChanged", lambda: sdk.event(sdk.EVENT_PARTICIPANT_UPDATED, session_handle=SESSION,
                                                        participant_uri=PARTICIPANT, flag_a=1, flag_b=0,
                                                        level=0.5)),
        ("OnMicrophoneIntensityEvent", lambda: sdk.event(sdk.EVENT_AUX_AUDIO_PROPERTIES, mic_active=1,
                                                         mic_energy=0.5)),
        ("OnKeyEvent", lambda: sdk.event(sdk.EVENT_KEYBOARD_MOUSE, binding_name="ptt", key_state=1)),
        ("OnConnectorEvent", lambda: sdk.event(OTHER_EVENT)),
        ("OnConnectivityTroubleShooterErrorFound", lambda: sdk.respond_to(
            sdk.RESPONSE_AUX_CONNECTIVITY_INFO, "aux_connectivity_info", {}, test_results=[(3, 7, "info")],
            status_text="st")),
    ]


class KeepingListener(object):
    """Keeps the arguments of the last call and returns its own result."""

    def __init__(self):
        self.result = object()
        self.kept = {}

    def __getattr__(self, name):
        if not (name.startswith("On") or name.startswith("Failed")):
            raise AttributeError(name)

        def callback(*args):
            self.kept[name] = args
            return self.result

        return callback


class OperationReferencesTest(JoinedConnectorTest):
    def repeat(self, operation):
        for _ in range(REPEATS):
            operation(self.connector)
            voicesdk.clear_requests()
        # Synchronous answers wait in the mailbox until dispatched.
        self.pump()

    def check_operations(self, operations, watched):
        drift = []
        counted = Counted([self.listener, None, self.connector] + watched)
        for label, operation in operations:
            self.repeat(operation)  # warm caches and free lists
            counted.start()
            self.repeat(operation)
            drift.extend("%s: %s" % (label, change) for change in counted.changes(REPEATS))
        self.assertEqual(drift, [], "\n".join(drift))

    def test_every_method_returns_what_it_took(self):
        calls, arguments = valid_calls()
        self.check_operations(calls, arguments)

    def test_refused_requests_return_what_they_took(self):
        calls, arguments = valid_calls()
        self.check_operations([(label, refused(call)) for label, call in calls], arguments)

    def test_rejected_arguments_return_what_they_took(self):
        calls, _ = valid_calls()
        self.check_operations([(label, bad_arguments(label)) for label, _ in calls if label != "Run"], [])

    def test_failed_allocations_return_what_they_took(self):
        calls, arguments = valid_calls()

        def starved(call):
            def attempt(connector):
                voicesdk.fail_strdup(1)
                try:
                    call(connector)
                except MemoryError:
                    pass
                voicesdk.fail_strdup(0)
            return attempt

        self.check_operations([(label, starved(call)) for label, call in calls], arguments)


class CallbackReferencesTest(JoinedConnectorTest):
    def setUp(self):
        JoinedConnectorTest.setUp(self)
        self.keeper = KeepingListener()
        self.connector = None
        voicesdk.reset()
        answer_synchronous_requests()
        self.connector = _talkwire.Connector(self.keeper)
        make_joined(self.connector)

    def trigger(self, queue, times):
        for _ in range(times):
            queue()
        self.pump()

    def test_callbacks_release_their_arguments_and_results(self):
        drift = []
        counted = Counted([self.keeper, None, self.connector, self.keeper.result])
        for name, queue in callback_triggers():
            self.trigger(queue, 3)
            counted.start()
            self.trigger(queue, REPEATS)
            drift.extend("%s: %s" % (name, change) for change in counted.changes(REPEATS))
            args = self.keeper.kept.get(name)
            if args is None:
                drift.append("%s was not called" % name)
                continue
            # The listener's tuple holds the only reference to what it was
            # given (two more: the loop and getrefcount's argument), but for
            # the connector's cache of recent texts.
            for item in args:
                if isinstance(item, str) and len(item) > 1 and sys.getrefcount(item) > 3 + 4:
                    drift.append("%s: argument %r has %d references" % (name, item, sys.getrefcount(item)))
        self.assertEqual(drift, [], "\n".join(drift))

    def test_raising_and_missing_callbacks_release_everything(self):
        class Raising(object):
            def __getattr__(self, name):
                if name.startswith("On"):
                    def fail(*args):
                        raise ValueError(name)
                    return fail
                raise AttributeError(name)

        for listener in (Raising(), object()):
            self.connector = None
            voicesdk.reset()
            answer_synchronous_requests()
            self.connector = _talkwire.Connector(listener)
            with Unraisables(keep=False):
                make_joined(self.connector)
                for _, queue in callback_triggers():
                    self.trigger(queue, 3)
                counted = Counted([listener, None, self.connector])
                for _, queue in callback_triggers():
                    self.trigger(queue, REPEATS)
            self.assertEqual(counted.changes(REPEATS * 10), [])
            del counted  # it holds this connector, which must go before the next


class DroppingListener(RecordingListener):
    """Drops the only reference to its connector inside one callback."""

    def __init__(self, drop_in, then=None):
        RecordingListener.__init__(self)
        self.drop_in = drop_in
        self.then = then
        self.connector = None
        self.armed = False

    def __getattr__(self, name):
        record = RecordingListener.__getattr__(self, name)
        if name != self.drop_in or not self.armed:
            return record

        def drop(*args):
            record(*args)
            connector, self.connector = self.connector, None
            if self.then and connector is not None:
                self.then(connector)
            del connector

        return drop


class DropConnectorInCallbackTest(unittest.TestCase):
    """The connector dies inside its own dispatch: messages after the
    dropping one are released unheard, nothing touches freed memory, and the
    listener's count comes back."""

    def setUp(self):
        voicesdk.reset()
        voicesdk.fault_clear()
        answer_synchronous_requests()

    def tearDown(self):
        assert_nothing_left(self)

    def drop_in(self, name, queue, then=None):
        listener = DroppingListener(name, then)
        before = sys.getrefcount(listener)
        listener.connector = _talkwire.Connector(listener)
        try:
            make_joined(listener.connector)
            listener.clear()
            listener.armed = True
            queue()
            voicesdk.event(OTHER_EVENT)  # released with the dropped connector
            voicesdk.event(OTHER_EVENT)
            # All of it reaches the listener's connector before a second one
            # registers: with two handlers, a message goes to whichever one
            # the SDK calls while it waits.
            self.assertTrue(voicesdk.flush(5.0))
            # It pumps the thread once the dropped connector is gone.
            pumper = _talkwire.Connector(None)
            with Unraisables(keep=False):
                pump(pumper)
                self.assertTrue(voicesdk.flush(5.0))
                pump(pumper)
            self.assertIsNone(listener.connector, name)
            self.assertIn(name, listener.names())
            self.assertEqual(voicesdk.handlers(), 1)
            del pumper
        finally:
            # The listener and its connector hold each other: a failure
            # here must not leave it registered until the next collection.
            listener.connector = None
        gc.collect()
        self.assertEqual(sys.getrefcount(listener), before)

    def test_drop_inside_every_callback(self):
        for name, queue in callback_triggers():
            self.drop_in(name, queue)

    def test_drop_between_the_two_callbacks_of_a_lost_join(self):
        """A session lost while connecting calls FailedJoinChannel, then
        OnLeftChannel, on a connector that has already been dropped."""
        listener = DroppingListener("FailedJoinChannel")
        listener.connector = _talkwire.Connector(listener)
        make_joined(listener.connector)
        listener.connector.JoinChannelEx("second")
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create",
                            {"channel_name": "second"}, channel_uri="sip:second")
        pump(listener.connector)
        voicesdk.respond_to(voicesdk.RESPONSE_SESSIONGROUP_ADD_SESSION, "sessiongroup_add_session",
                            {"channel_name": "second"}, session_handle="sess-2")
        pump(listener.connector)  # placed, session known, not connected
        listener.clear()
        listener.armed = True
        voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, session_handle="sess-2", media_state=1, status_code=5,
                       status_text="lost")
        self.assertTrue(voicesdk.flush(5.0))  # into the listener's connector alone
        pumper = _talkwire.Connector(None)
        pump(pumper)
        self.assertEqual(listener.names(), ["FailedJoinChannel", "OnLeftChannel"])
        self.assertIsNone(listener.connector)
        del pumper

    def test_messages_after_the_dropping_one_are_released_unheard(self):
        """The connector goes at the end of the dispatch that dropped it,
        whoever pumps (itself included): what its mailbox still holds is
        released, never handled, and it issues nothing more."""
        for pumps_itself in (False, True):
            listener = DroppingListener("OnConnectorEvent")
            listener.connector = _talkwire.Connector(listener)
            try:
                make_joined(listener.connector)
                listener.connector.JoinChannelEx("second")
                voicesdk.clear_requests()
                listener.clear()
                listener.armed = True
                voicesdk.event(OTHER_EVENT)  # drops the connector
                # Would place a call for the channel it still wants.
                voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create", {"channel_name": "second"},
                                    channel_uri="sip:second")
                voicesdk.event(voicesdk.EVENT_PARTICIPANT_ADDED, session_handle=SESSION, participant_uri="sip:bob", participant_type=0)
                voicesdk.event(OTHER_EVENT)
                self.assertTrue(voicesdk.flush(5.0))  # all of it in the dropped connector's mailbox
                if pumps_itself:
                    voicesdk.post_quit()
                    listener.connector.Run()
                    self.assertEqual(voicesdk.handlers(), 0)
                else:
                    pumper = _talkwire.Connector(None)
                    pump(pumper)
                    self.assertEqual(voicesdk.handlers(), 1)
                    del pumper
                self.assertIsNone(listener.connector)
                self.assertEqual(listener.names(), ["OnConnectorEvent"], pumps_itself)
                self.assertEqual(voicesdk.requests(), [], pumps_itself)
                self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 0, "events": 0})
            finally:
                listener.connector = None
            voicesdk.reset()
            answer_synchronous_requests()

    def test_drop_after_calling_back_into_the_connector(self):
        def busy(connector):
            connector.GetMicrophoneVolume()
            connector.LeaveChannel(CHANNEL)
            connector.JoinChannelEx("late")
            voicesdk.post_quit()
            connector.Run()
            # The nested pump used up the outer pump's quit.
            voicesdk.post_quit()

        self.drop_in("OnConnectorEvent", lambda: voicesdk.event(OTHER_EVENT), then=busy)
        self.drop_in("OnParticipantJoined", lambda: voicesdk.event(
            voicesdk.EVENT_PARTICIPANT_ADDED, session_handle=SESSION, participant_uri="sip:bob", participant_type=0),
            then=busy)


if __name__ == "__main__":
    unittest.main()
