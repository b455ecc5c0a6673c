"""The module's face: the Connector type, its method table, the retired
operations and the entries that only return None."""
import gc
import sys
import unittest
import weakref

import _talkwire
import voicesdk

from support import E_NOTIMPL, OTHER_EVENT, ConnectorTest, RecordingListener, assert_nothing_left, pump

METHODS = [
    "InitializeLogging", "Login", "Logout", "InitiateShutdown", "CreateAccount", "PutAnswerMode",
    "Mute", "InvokeTuningWizardEx", "PlaceCall", "Answer", "LeaveChannel", "JoinChannel",
    "JoinChannelEx", "InitializeEx", "GetParticipants", "GetPreferredAudioInputDevice",
    "SetPreferredAudioInputDevice", "GetAudioInputDevices", "GetAudioInputDeviceLines",
    "GetPreferredAudioInputDeviceLineNumber", "SetPreferredAudioInputDeviceLineNumber",
    "GetPreferredAudioOutputDevice", "SetPreferredAudioOutputDevice", "GetAudioOutputDevices",
    "StartAudioTest", "StopAudioTest", "GetAudioTestPassed", "GetMicrophoneVolume",
    "SetMicrophoneVolume", "SetAudioPositionAndFacing", "SetSpeakerVolume", "GetSpeakerVolume",
    "Talk", "MuteSpeakers", "MuteParticipantForMe", "SetParticipantVolumeForMe",
    "RunTroubleShooter", "EnableGlobalPushToTalkMode", "DisableGlobalPushToTalkMode",
    "SetSpeakingChannel", "MuteChannelInput", "MuteChannelOutput", "SetChannelInputVolume",
    "SetChannelOutputVolume", "ModeratorMuteAll", "ModeratorMute", "ChannelJoinInProgressCount",
    "Run",
]


class ModuleTest(unittest.TestCase):
    def test_only_attribute_is_connector(self):
        public = [name for name in dir(_talkwire) if not name.startswith("__")]
        self.assertEqual(public, ["Connector"])

    def test_type_name_and_no_subclassing(self):
        self.assertEqual(_talkwire.Connector.__module__ + "." + _talkwire.Connector.__name__,
                         "_talkwire.Connector")
        with self.assertRaises(TypeError):
            type("Sub", (_talkwire.Connector,), {})

    def test_method_table(self):
        own = [name for name, value in vars(_talkwire.Connector).items()
               if not name.startswith("__")]
        self.assertEqual(sorted(own), sorted(METHODS))
        self.assertEqual(len(METHODS), 48)
        for name in METHODS:
            expected = "GetMicrophoneDevices" if name == "GetAudioInputDevices" else name
            self.assertEqual(getattr(_talkwire.Connector, name).__doc__, expected)


class ConstructionTest(unittest.TestCase):
    def setUp(self):
        voicesdk.reset()

    def test_argument_count(self):
        with self.assertRaises(TypeError):
            _talkwire.Connector()
        with self.assertRaises(TypeError):
            _talkwire.Connector(1, 2)
        self.assertEqual(voicesdk.handlers(), 0)

    def test_none_listener_is_accepted(self):
        connector = _talkwire.Connector(None)
        self.assertIsNone(connector.RunTroubleShooter())
        del connector

    def test_listener_reference_released_once(self):
        listener = RecordingListener()
        before = sys.getrefcount(listener)
        connector = _talkwire.Connector(listener)
        self.assertEqual(sys.getrefcount(listener), before + 1)
        self.assertEqual(voicesdk.handlers(), 1)
        del connector
        gc.collect()
        self.assertEqual(sys.getrefcount(listener), before)
        self.assertEqual(voicesdk.handlers(), 0)


class Game(RecordingListener):
    """The usual shape: the listener keeps its connector."""

    def __init__(self):
        RecordingListener.__init__(self)
        self.connector = _talkwire.Connector(self)


class CyclicCollectionTest(unittest.TestCase):
    """A listener that holds its connector forms a cycle; once the program
    lets go of it, the collector tears the connector down as dropping it
    would: handler unregistered, window gone, queued messages released."""

    def setUp(self):
        voicesdk.reset()

    def tearDown(self):
        assert_nothing_left(self)

    def test_cycle_is_collected_and_the_next_connector_hears_everything(self):
        windows = voicesdk.windows() if voicesdk.PLATFORM_FAULTS else None
        game = Game()
        for _ in range(3):
            voicesdk.event(OTHER_EVENT)
        self.assertTrue(voicesdk.flush(5.0))  # into the game's mailbox
        gone = weakref.ref(game)
        del game
        gc.collect()
        self.assertIsNone(gone())
        self.assertEqual(voicesdk.handlers(), 0)
        self.assertEqual(voicesdk.live()["events"], 0)
        if windows is not None:
            self.assertEqual(voicesdk.windows(), windows)
        # Nothing left behind takes the next connector's messages.
        later = Game()
        voicesdk.event(OTHER_EVENT)
        pump(later.connector)
        self.assertEqual(later.of("OnConnectorEvent"), [(OTHER_EVENT, 0, 0)])
        later.connector = None

    def test_cycle_through_a_callback_that_lets_go(self):
        """The last outside reference goes inside a callback: the cycle is
        garbage, and the next collection ends it."""
        game = Game()
        pumper = _talkwire.Connector(None)
        holder = [game]

        def let_go(*args):
            del holder[:]

        game.OnConnectorEvent = let_go
        gone = weakref.ref(game)
        del game
        voicesdk.event(OTHER_EVENT)
        voicesdk.event(OTHER_EVENT)
        pump(pumper)
        gc.collect()
        self.assertIsNone(gone())
        self.assertEqual(voicesdk.handlers(), 1)
        del pumper


class RetiredAndNoOpTest(ConnectorTest):
    def test_retired_operations(self):
        retired = [
            ("InitializeLogging", ("a", 1), "InitializeLogging no longer supported"),
            ("PutAnswerMode", (1,), "PutAnswerMode is no longer supported"),
            ("InvokeTuningWizardEx", (), "InvokeTuningWizard no longer supported."),
            ("PlaceCall", ("x", 2, None), "InvokeTuningWizard no longer supported."),
            ("Answer", (), "Answer is no longer supported"),
            ("JoinChannel", ("lobby",), "JoinChannel no longer supported."),
        ]
        for name, args, message in retired:
            error = self.assertWindowsError(E_NOTIMPL, message, getattr(self.connector, name), *args)
            self.assertEqual(error.args[0], -2147467263)
        self.assertEqual(voicesdk.requests(), [])

    def test_none_returning_entries_accept_anything(self):
        for name in ("MuteChannelInput", "SetChannelInputVolume", "SetPreferredAudioInputDeviceLineNumber"):
            method = getattr(self.connector, name)
            self.assertIsNone(method())
            self.assertIsNone(method("a", 1, None, object()))
        self.assertIsNone(self.connector.DisableGlobalPushToTalkMode())
        with self.assertRaises(TypeError):
            self.connector.DisableGlobalPushToTalkMode(1)
        self.assertEqual(voicesdk.requests(), [])

    def test_unknown_code_still_gives_text(self):
        voicesdk.refuse(2)
        error = self.assertWindowsError(2, "Couldn't do mConnector->raw_RunConnectivityTroubleshooter",
                                        self.connector.RunTroubleShooter)
        self.assertTrue(error.strerror)


if __name__ == "__main__":
    unittest.main()
