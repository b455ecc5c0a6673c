// Every error message the module raises, in one place.
#ifndef TALKWIRE_BRIDGE_MESSAGES_H
#define TALKWIRE_BRIDGE_MESSAGES_H

namespace talkwire {
namespace msg {

// Retired operations
constexpr const char *kInitializeLoggingRetired = "InitializeLogging no longer supported";
constexpr const char *kPutAnswerModeRetired = "PutAnswerMode is no longer supported";
constexpr const char *kTuningWizardRetired = "InvokeTuningWizard no longer supported.";
constexpr const char *kAnswerRetired = "Answer is no longer supported";
constexpr const char *kJoinChannelRetired = "JoinChannel no longer supported.";

// Connector setup and account
constexpr const char *kErrorCreatingThread = "Error Creating Thread";
constexpr const char *kLoginBeforeConnector = "Attempt to login before connector handle is set";
constexpr const char *kCouldNotLogin = "Couldn't do Login";
constexpr const char *kCouldNotLogout = "Couldn't do Logout";
constexpr const char *kCouldNotShutdown = "Couldn't do InitiateShutdown";
constexpr const char *kErrorCreatingAccount = "Error creating account";
constexpr const char *kInvalidMuteValue = "Invalid isMute value";
constexpr const char *kConnectorHandleEmpty = "Connector handle is empty.";
constexpr const char *kCouldNotMuteMicrophoneDot = "Couldn't mute microphone.";

// Channels
constexpr const char *kPlaceCallLoggedOut = "Couldn't place call - account logged out";
constexpr const char *kCouldNotCreateSession = "Couldn't create voice session.";
constexpr const char *kCouldNotCreateSessionGroup = "Couldn't create session group.";
constexpr const char *kMustBeLoggedInToJoin = "Must be logged in to Join Channel";
constexpr const char *kChannelAlreadyJoining = "Channel already either connected or in process of connecting";
constexpr const char *kCouldNotCreateChannel = "Couldn't create channel";
constexpr const char *kInvalidChannelName = "Invalid channel name";
constexpr const char *kCouldNotLeaveChannel = "Couldn't Leave Channel";
constexpr const char *kCouldNotTerminateSession = "Couldn't terminate voice session";
constexpr const char *kCouldNotSetAudioPosition = "Couldn't set audio position";
constexpr const char *kCouldNotMuteParticipant = "Couldn't mute participant";
constexpr const char *kCouldNotSetParticipantVolume = "Couldn't set volume for participant";
constexpr const char *kCouldNotSetSpeakingChannel = "Couldn't set speaking channel";
constexpr const char *kCouldNotClearSpeakingChannel = "Couldn't clear speaking channel";
constexpr const char *kCouldNotMuteChannelOutput = "Couldn't mute channel output";
constexpr const char *kCouldNotSetChannelOutputVolume = "Couldn't set channel output volume";
constexpr const char *kCouldNotModeratorMute = "Couldn't moderator mute all.";

// Audio
constexpr const char *kCouldNotGetInputDevice = "Couldn't get preferred audio input device";
constexpr const char *kCouldNotSetInputDevice = "Couldn't set preferred audio input device";
constexpr const char *kCouldNotGetOutputDevice = "Couldn't get preferred audio output device";
constexpr const char *kCouldNotSetOutputDevice = "Couldn't set preferred audio output device";
constexpr const char *kCouldNotStartAudioTest = "Couldn't get start mic audio test";
constexpr const char *kCouldNotStopAudioTest = "Couldn't get stop mic audio test";
constexpr const char *kCouldNotGetMicrophoneVolume = "Couldn't get microphone volume";
constexpr const char *kCouldNotSetMicrophoneVolume = "Couldn't set microphone volume";
constexpr const char *kCouldNotSetConnectorMicrophoneVolume = "Couldn't set connector microphone volume";
constexpr const char *kCouldNotSetSpeakerVolume = "Couldn't set speaker volume";
constexpr const char *kCouldNotSetConnectorSpeakerVolume = "Couldn't set connector speaker volume";
constexpr const char *kCouldNotGetSpeakerVolume = "Couldn't get speaker volume";
constexpr const char *kCouldNotMuteMicrophone = "Couldn't mute microphone";
constexpr const char *kCouldNotMuteSpeakers = "Couldn't mute speakers";

// Troubleshooter and push-to-talk
constexpr const char *kCouldNotRunTroubleshooter = "Couldn't do mConnector->raw_RunConnectivityTroubleshooter";
constexpr const char *kCouldNotSetKeyBinding = "Couldn't set key binding";
constexpr const char *kTooManyEntries = "too many entries, max %d supported";

// Our own: the SDK could not copy a string into a request.
constexpr const char *kSdkOutOfMemory = "the voice SDK is out of memory";
// Our own: the thread could not wait (it has no message queue).
constexpr const char *kCouldNotWaitForMessages = "Couldn't wait for messages";
// Our own: the connector was made in the process this one was forked from.
constexpr const char *kConnectorOfAnotherProcess =
    "this Connector belongs to the process that made it and cannot be used in a process forked "
    "from it: the voice SDK's thread that serves it is not here";

}  // namespace msg
}  // namespace talkwire

#endif
