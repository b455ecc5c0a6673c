"""The 48 methods as documented, in method-table order: each with its kind
and, for those that parse their arguments, the interpreter's argument format
and how many arguments the module requires (more than the format does where
the format makes an argument optional but gives it no value)."""

NOARGS, ANYTHING, RETIRED, PARSED = "noargs", "anything", "retired", ""

SIGNATURES = [
    ("InitializeLogging", RETIRED, None, 0),
    ("Login", PARSED, "|ss:Login", 2),
    ("Logout", NOARGS, None, 0),
    ("InitiateShutdown", NOARGS, None, 0),
    ("CreateAccount", PARSED, "|ssss:CreateAccount", 4),
    ("PutAnswerMode", RETIRED, None, 0),
    ("Mute", PARSED, "i:Mute", 1),
    ("InvokeTuningWizardEx", NOARGS, None, 0),
    ("PlaceCall", RETIRED, None, 0),
    ("Answer", NOARGS, None, 0),
    ("LeaveChannel", PARSED, "s:LeaveChannel", 1),
    ("JoinChannel", RETIRED, None, 0),
    ("JoinChannelEx", PARSED, "s:JoinChannelEx", 1),
    ("InitializeEx", PARSED, "|sisssi:InitializeEx", 0),
    ("GetParticipants", PARSED, "s:GetParticipants", 1),
    ("GetPreferredAudioInputDevice", NOARGS, None, 0),
    ("SetPreferredAudioInputDevice", PARSED, "|i:SetPreferredAudioInputDevice", 1),
    ("GetAudioInputDevices", NOARGS, None, 0),
    ("GetAudioInputDeviceLines", NOARGS, None, 0),
    ("GetPreferredAudioInputDeviceLineNumber", NOARGS, None, 0),
    ("SetPreferredAudioInputDeviceLineNumber", ANYTHING, None, 0),
    ("GetPreferredAudioOutputDevice", NOARGS, None, 0),
    # The input setter's format: its errors name the input setter.
    ("SetPreferredAudioOutputDevice", PARSED, "|i:SetPreferredAudioInputDevice", 1),
    ("GetAudioOutputDevices", NOARGS, None, 0),
    ("StartAudioTest", NOARGS, None, 0),
    ("StopAudioTest", NOARGS, None, 0),
    ("GetAudioTestPassed", NOARGS, None, 0),
    ("GetMicrophoneVolume", NOARGS, None, 0),
    ("SetMicrophoneVolume", PARSED, "|i:SetMicrophoneVolume", 1),
    # The name and seven numbers come together or not at all.
    ("SetAudioPositionAndFacing", PARSED, "|sfffffff:SetAudioPositionAndFacing", 0),
    ("SetSpeakerVolume", PARSED, "|i:SetSpeakerVolume", 1),
    ("GetSpeakerVolume", NOARGS, None, 0),
    ("Talk", PARSED, "|i:Talk", 0),
    ("MuteSpeakers", PARSED, "|i:MuteSpeakers", 1),
    ("MuteParticipantForMe", PARSED, "|ssi:MuteParticipantForMe", 0),
    ("SetParticipantVolumeForMe", PARSED, "|ssi:SetParticipantVolumeForMe", 0),
    ("RunTroubleShooter", NOARGS, None, 0),
    # The one object: a list of ENTRY_FORMAT tuples.
    ("EnableGlobalPushToTalkMode", PARSED, "|O:EnableGlobalPushToTalkMode", 1),
    ("DisableGlobalPushToTalkMode", NOARGS, None, 0),
    ("SetSpeakingChannel", PARSED, "|s:SetSpeakingChannel", 0),
    ("MuteChannelInput", ANYTHING, None, 0),
    ("MuteChannelOutput", PARSED, "|si:MuteChannelOutput", 0),
    ("SetChannelInputVolume", ANYTHING, None, 0),
    ("SetChannelOutputVolume", PARSED, "|si:SetChannelOutputVolume", 0),
    ("ModeratorMuteAll", PARSED, "|si:ModeratorMuteAll", 0),
    ("ModeratorMute", PARSED, "|ssi:ModeratorMute", 0),
    ("ChannelJoinInProgressCount", NOARGS, None, 0),
    ("Run", NOARGS, None, 0),
]

# Each entry of EnableGlobalPushToTalkMode's list: (binding name, key code).
ENTRY_FORMAT = "si"


def letters(format):
    """The argument letters of a format: "|si:Name" gives "si"."""
    return format.split(":")[0].replace("|", "") if format else ""


def parsed_methods():
    """(name, format, required) of every method that parses its arguments."""
    return [(name, format, required) for name, kind, format, required in SIGNATURES if kind == PARSED]
