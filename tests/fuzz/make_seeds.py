"""Writes the dispatcher fuzzer's seed corpus: whole sessions in the
fuzzer's input format (see Reader and run_step in dispatcher_fuzzer.cpp),
so that fuzzing starts from joins, leaves, audio, troubleshooting, faults
and listener re-entry rather than from noise.

    python3 tests/fuzz/make_seeds.py tests/fuzz/corpus
"""
import os
import struct
import sys

# Text pool of the fuzzer (Reader::text).
POOL = ["", "a", "b", "chan", "sess-1", "sess-2", "group-1", "sip:a", "sip:b", "acct-1", "conn-1", "\xff\xfe",
        "Test"]
ABSENT = 0xFF

METHODS = [
    "InitializeLogging", "Login", "Logout", "InitiateShutdown", "CreateAccount", "PutAnswerMode", "Mute",
    "InvokeTuningWizardEx", "PlaceCall", "Answer", "LeaveChannel", "JoinChannel", "JoinChannelEx", "InitializeEx",
    "GetParticipants", "GetPreferredAudioInputDevice", "SetPreferredAudioInputDevice", "GetAudioInputDevices",
    "GetAudioInputDeviceLines", "GetPreferredAudioInputDeviceLineNumber", "SetPreferredAudioInputDeviceLineNumber",
    "GetPreferredAudioOutputDevice", "SetPreferredAudioOutputDevice", "GetAudioOutputDevices", "StartAudioTest",
    "StopAudioTest", "GetAudioTestPassed", "GetMicrophoneVolume", "SetMicrophoneVolume",
    "SetAudioPositionAndFacing", "SetSpeakerVolume", "GetSpeakerVolume", "Talk", "MuteSpeakers",
    "MuteParticipantForMe", "SetParticipantVolumeForMe", "RunTroubleShooter", "EnableGlobalPushToTalkMode",
    "DisableGlobalPushToTalkMode", "SetSpeakingChannel", "MuteChannelInput", "MuteChannelOutput",
    "SetChannelInputVolume", "SetChannelOutputVolume", "ModeratorMuteAll", "ModeratorMute",
    "ChannelJoinInProgressCount", "Run",
]

KINDS = {
    "Login": "ss", "CreateAccount": "ssss", "Mute": "i", "LeaveChannel": "s", "JoinChannelEx": "s",
    "InitializeEx": "sisssi", "GetParticipants": "s", "SetPreferredAudioInputDevice": "i",
    "SetPreferredAudioOutputDevice": "i", "SetMicrophoneVolume": "i", "SetAudioPositionAndFacing": "sfffffff",
    "SetSpeakerVolume": "i", "Talk": "i", "MuteSpeakers": "i", "MuteParticipantForMe": "ssi",
    "SetParticipantVolumeForMe": "ssi", "EnableGlobalPushToTalkMode": "L", "SetSpeakingChannel": "s",
    "MuteChannelOutput": "si", "SetChannelOutputVolume": "si", "ModeratorMuteAll": "si", "ModeratorMute": "ssi",
    "InitializeLogging": "*", "PutAnswerMode": "*", "PlaceCall": "*", "JoinChannel": "*", "MuteChannelInput": "*",
    "SetChannelInputVolume": "*", "SetPreferredAudioInputDeviceLineNumber": "*",
}

RESPONSE_TYPES = [1, 2, 3, 28, 5, 101, 34, 6, 8, 16, 9, 10, 11, 12, 13, 14, 15, 17, 18, 19, 86,
                  87, 88, 89, 90, 91, 92, 93, 94, 97, 98, 20, 21, 22, 23, 0, 95, 96, 12345]
EVENT_TYPES = [1, 2, 4, 5, 6, 11, 18, 20, 26, 27, 28, 3, 0, 99]

# Plain result fields of the responses the seeds make ("s" text, "i" int),
# and the fields of the events, in record order.
RESPONSE_FIELDS = {1: "s", 2: "", 3: "ss", 34: "s", 8: "s", 16: "ss", 86: "", 9: "", 101: ""}
EVENT_FIELDS = {1: "siis", 4: "siis", 11: "id", 18: "si", 20: "sisi", 26: "ssi", 27: "ss", 28: "ssiid", 3: ""}

OP_CALL, OP_RESPOND, OP_RESPOND_TO, OP_EVENT, OP_PUMP, OP_RUN, OP_FAULT, OP_ACTION, OP_NEW, OP_DROP, OP_CLEAR = \
    range(11)


def integer(value):
    special = {0: [0], 1: [1], -1: [2], 20200: [5], 100: [6]}
    if value in special:
        return special[value]
    if -128 <= value <= 127:
        return [7, value & 0xFF]
    return [8] + list(struct.pack("<i", value))


def text(value):
    if value is None:
        return [ABSENT]
    if value in POOL:
        return [POOL.index(value)]
    raw = value.encode("utf-8", "surrogateescape") if not isinstance(value, bytes) else value
    return [0xC0, len(raw) % 32] + list(raw[:31])


def fields(kinds, values):
    out = []
    for kind, value in zip(kinds, values):
        out += text(value) if kind == "s" else integer(int(value * 64) if kind == "d" else value)
    return out


def call(method, *args, **options):
    """A method call on slot 0 (or options["slot"]) with the given args."""
    out = [OP_CALL, options.get("slot", 0), METHODS.index(method)]
    kinds = KINDS.get(method, "")
    for kind, value in zip(kinds, list(args) + [None] * len(kinds)):
        if kind == "i":
            out += [0] + integer(value or 0)
        elif kind == "f":
            out += integer(int((value or 0) * 7))
        elif kind == "L":
            bindings = value or []
            out += [0, len(bindings)]
            for name, code in bindings:
                out += text(name) + [0] + integer(code)
        else:
            out += text(value if value is not None else "")
    return out + [2]  # arity as the method wants


def respond_recorded(results, which=0, status=0, status_text=None, failed=False):
    """Answers the latest-but-`which` recorded request."""
    return [OP_RESPOND, which, 0 if failed else 1] + (integer(1) if failed else []) + integer(status) + \
        text(status_text) + results


def respond(response_type, results, status=0, failed=False, extra=()):
    """A response with no request (the module reads none for these)."""
    return [OP_RESPOND_TO, RESPONSE_TYPES.index(response_type), 0, 0 if failed else 1] + \
        (integer(1) if failed else []) + integer(status) + text(None) + \
        fields(RESPONSE_FIELDS.get(response_type, ""), results) + list(extra)


def event(event_type, *values):
    return [OP_EVENT, EVENT_TYPES.index(event_type)] + fields(EVENT_FIELDS[event_type], values) + [1]


def test_results(*tests):
    """The test records of a connectivity answer: (type, result, info)."""
    out = [1, len(tests)]
    for test_type, result, info in tests:
        out += integer(test_type)
        out += [1, result] if result in (0, 1) else [0] + integer(result)
        out += text(info)
    return out + [0]


def action(kind, name, slot=0):
    return [OP_ACTION, slot, kind] + text(name)


PUMP = [OP_PUMP]
RUN = [OP_RUN, 0]


def logged_in():
    return [0] + respond(1, ["conn-1"]) + respond(3, ["acct-1", None]) + PUMP


def joined(name="chan", session="sess-1"):
    return (call("JoinChannelEx", name) + respond_recorded(text("sip:a")) + PUMP +
            respond_recorded(text(session)) + event(20, session, 0, None, 2) +
            event(26, session, "sip:a", 0) + PUMP)


SEEDS = {
    "join_and_leave": logged_in() + joined() + call("GetParticipants", "chan") +
    event(28, "sess-1", "sip:a", 1, 0, 0.5) + event(27, "sess-1", "sip:a") + PUMP +
    call("LeaveChannel", "chan") + event(20, "sess-1", 0, None, 1) + PUMP,
    "two_channels": logged_in() + call("JoinChannelEx", "a") + call("JoinChannelEx", "b") +
    respond_recorded(text("sip:b")) + respond_recorded(text("sip:a"), which=1) + PUMP +
    respond_recorded(text("sess-1")) + event(20, "sess-1", 0, None, 2) + PUMP +
    respond_recorded(text("sess-2")) + event(20, "sess-2", 5, "lost", 1) + PUMP,
    "controls": logged_in() + joined() + call("SetSpeakingChannel", "chan") + call("SetSpeakingChannel") +
    call("MuteChannelOutput", "chan", 1) + call("SetChannelOutputVolume", "chan", 16000) +
    call("ModeratorMuteAll", "chan", 1) + call("ModeratorMute", "chan", "sip:a", 1) +
    call("MuteParticipantForMe", "chan", "sip:a", 7) + call("SetParticipantVolumeForMe", "chan", "sip:a", 32000) +
    call("SetAudioPositionAndFacing", "chan", 1, 2, 3, 4, 5, 6, 0.5) + PUMP,
    "audio": [0] + call("GetAudioInputDevices") + call("GetPreferredAudioInputDevice") +
    call("SetPreferredAudioInputDevice", 1) + call("GetAudioOutputDevices") +
    call("SetPreferredAudioOutputDevice", 0) + call("StartAudioTest") + event(11, 1, 0.5) + PUMP +
    call("GetAudioTestPassed") + call("StopAudioTest") + call("GetMicrophoneVolume") +
    call("SetMicrophoneVolume", 16000) + call("SetSpeakerVolume", 8000) + call("GetSpeakerVolume") +
    call("Talk", 1) + call("MuteSpeakers", 0) + PUMP,
    "audio_failing": [1] + call("GetAudioInputDevices") + call("SetMicrophoneVolume", 100) +
    call("StartAudioTest") + PUMP,
    "account": [0] + call("CreateAccount", "u", "p", "t", "d") + respond(101, []) +
    respond(101, [], status=44, failed=True) + call("Login", "a", "b") + respond(1, ["conn-1"]) + PUMP +
    call("Login", "a", "b") + respond(3, [None, None], status=20200, failed=True) + PUMP +
    respond(3, ["acct-1", None]) + event(1, "acct-1", 2, 0, None) + event(1, None, 100, 7, "bad") + PUMP +
    call("Logout") + call("Mute", 1) + call("InitiateShutdown") + respond(2, []) + PUMP,
    "troubleshooter": [0] + call("RunTroubleShooter") +
    respond(86, [], extra=test_results((0, 1, None), (3, 7, "info"), (22, 9, None))) +
    respond(86, [], extra=test_results()) + PUMP,
    "push_to_talk": [0] + call("EnableGlobalPushToTalkMode", [("a", 17), ("b", 18)]) +
    call("EnableGlobalPushToTalkMode", []) + event(18, "b", 1) + event(18, None, 0) + PUMP +
    call("DisableGlobalPushToTalkMode"),
    "reentrant_listener": logged_in() + joined() + action(2, "chan") + action(3, "b") + action(4, "x") +
    action(7, "x") + action(1, "x") + event(3) + event(3) + event(3) + event(3) + event(3) + PUMP,
    "faults": logged_in() + [OP_FAULT, 0] + integer(77) + [1] + call("JoinChannelEx", "chan") +
    [OP_FAULT, 1, 1] + call("RunTroubleShooter") + [OP_FAULT, 2, 0, 1, 0] + call("GetMicrophoneVolume") +
    [OP_FAULT, 2, 4, 2, 0] + event(3) + event(3) + PUMP + [OP_CLEAR] + event(3) + PUMP +
    [OP_FAULT, 2, 1, 1, 8] + call("InitializeEx", "orb") + [OP_NEW, 1] + [OP_FAULT, 2, 3, 1, 0] + [OP_NEW, 0] +
    call("GetSpeakerVolume") + PUMP,
    "two_connectors": [0, OP_NEW, 1] + respond(1, ["conn-1"]) + event(3) + PUMP + [OP_DROP, 0] + event(3) + PUMP +
    call("GetMicrophoneVolume", slot=1) + RUN,
    "session_events": logged_in() + joined() + event(4, "sess-1", 4, 1, "chan") + event(4, None, 5, 0, "chan") +
    PUMP + call("JoinChannelEx", "chan") + event(1, "acct-1", 0, 0, None) + PUMP,
}


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    if not os.path.isdir(target):
        os.makedirs(target)
    for name, data in sorted(SEEDS.items()):
        with open(os.path.join(target, name), "wb") as seed:
            seed.write(bytes(bytearray(data)))


if __name__ == "__main__":
    main()
