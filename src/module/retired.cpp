// Retired operations, and the entries that only return None.
#include "bridge/error_codes.h"
#include "bridge/errors.h"
#include "bridge/messages.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {

#define TALKWIRE_RETIRED(name, parameters, message)                        \
    PyObject *Connector_##name(PyObject *, parameters)                    \
    {                                                                     \
        return raise_error(kErrorNotImplemented, "%s", message);           \
    }

TALKWIRE_RETIRED(InitializeLogging, CallArgs, msg::kInitializeLoggingRetired)
TALKWIRE_RETIRED(PutAnswerMode, CallArgs, msg::kPutAnswerModeRetired)
TALKWIRE_RETIRED(InvokeTuningWizardEx, PyObject *, msg::kTuningWizardRetired)
TALKWIRE_RETIRED(PlaceCall, CallArgs, msg::kTuningWizardRetired)
TALKWIRE_RETIRED(Answer, PyObject *, msg::kAnswerRetired)
TALKWIRE_RETIRED(JoinChannel, CallArgs, msg::kJoinChannelRetired)

#undef TALKWIRE_RETIRED

// Accept any arguments, do nothing.  The push-to-talk binding stays in place.
PyObject *Connector_MuteChannelInput(PyObject *, CallArgs) { return new_none(); }
PyObject *Connector_SetChannelInputVolume(PyObject *, CallArgs) { return new_none(); }
PyObject *Connector_SetPreferredAudioInputDeviceLineNumber(PyObject *, CallArgs) { return new_none(); }
PyObject *Connector_DisableGlobalPushToTalkMode(PyObject *, PyObject *) { return new_none(); }

}  // namespace talkwire
