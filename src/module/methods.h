// The 48 methods of Connector, in table order: X(name, style).  An entry
// taking arguments (METH_VARARGS here) is
// `PyObject *Connector_<name>(PyObject *self, CallArgs args)`, one without
// `PyObject *Connector_<name>(PyObject *self, PyObject *unused)`; each lives
// in the folder of its subsystem.  module/method_table.cpp adapts them to
// the interpreter's calling conventions.
#ifndef TALKWIRE_MODULE_METHODS_H
#define TALKWIRE_MODULE_METHODS_H

#include "module/call_args.h"
#include "pycompat/pycompat.h"

#define TALKWIRE_CONNECTOR_METHODS(X)                    \
    X(InitializeLogging, METH_VARARGS)                   \
    X(Login, METH_VARARGS)                               \
    X(Logout, METH_NOARGS)                               \
    X(InitiateShutdown, METH_NOARGS)                     \
    X(CreateAccount, METH_VARARGS)                       \
    X(PutAnswerMode, METH_VARARGS)                       \
    X(Mute, METH_VARARGS)                                \
    X(InvokeTuningWizardEx, METH_NOARGS)                 \
    X(PlaceCall, METH_VARARGS)                           \
    X(Answer, METH_NOARGS)                               \
    X(LeaveChannel, METH_VARARGS)                        \
    X(JoinChannel, METH_VARARGS)                         \
    X(JoinChannelEx, METH_VARARGS)                       \
    X(InitializeEx, METH_VARARGS)                        \
    X(GetParticipants, METH_VARARGS)                     \
    X(GetPreferredAudioInputDevice, METH_NOARGS)         \
    X(SetPreferredAudioInputDevice, METH_VARARGS)        \
    X(GetAudioInputDevices, METH_NOARGS)                 \
    X(GetAudioInputDeviceLines, METH_NOARGS)             \
    X(GetPreferredAudioInputDeviceLineNumber, METH_NOARGS) \
    X(SetPreferredAudioInputDeviceLineNumber, METH_VARARGS) \
    X(GetPreferredAudioOutputDevice, METH_NOARGS)        \
    X(SetPreferredAudioOutputDevice, METH_VARARGS)       \
    X(GetAudioOutputDevices, METH_NOARGS)                \
    X(StartAudioTest, METH_NOARGS)                       \
    X(StopAudioTest, METH_NOARGS)                        \
    X(GetAudioTestPassed, METH_NOARGS)                   \
    X(GetMicrophoneVolume, METH_NOARGS)                  \
    X(SetMicrophoneVolume, METH_VARARGS)                 \
    X(SetAudioPositionAndFacing, METH_VARARGS)           \
    X(SetSpeakerVolume, METH_VARARGS)                    \
    X(GetSpeakerVolume, METH_NOARGS)                     \
    X(Talk, METH_VARARGS)                                \
    X(MuteSpeakers, METH_VARARGS)                        \
    X(MuteParticipantForMe, METH_VARARGS)                \
    X(SetParticipantVolumeForMe, METH_VARARGS)           \
    X(RunTroubleShooter, METH_NOARGS)                    \
    X(EnableGlobalPushToTalkMode, METH_VARARGS)          \
    X(DisableGlobalPushToTalkMode, METH_NOARGS)          \
    X(SetSpeakingChannel, METH_VARARGS)                  \
    X(MuteChannelInput, METH_VARARGS)                    \
    X(MuteChannelOutput, METH_VARARGS)                   \
    X(SetChannelInputVolume, METH_VARARGS)               \
    X(SetChannelOutputVolume, METH_VARARGS)              \
    X(ModeratorMuteAll, METH_VARARGS)                    \
    X(ModeratorMute, METH_VARARGS)                       \
    X(ChannelJoinInProgressCount, METH_NOARGS)           \
    X(Run, METH_NOARGS)

namespace talkwire {

#define TALKWIRE_ENTRY_PARAMETERS_METH_VARARGS CallArgs
#define TALKWIRE_ENTRY_PARAMETERS_METH_NOARGS PyObject *
#define TALKWIRE_DECLARE_ENTRY(name, style) \
    PyObject *Connector_##name(PyObject *self, TALKWIRE_ENTRY_PARAMETERS_##style);
TALKWIRE_CONNECTOR_METHODS(TALKWIRE_DECLARE_ENTRY)
#undef TALKWIRE_DECLARE_ENTRY

PyMethodDef *connector_methods();

}  // namespace talkwire

#endif
