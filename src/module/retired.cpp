// Retired operations, and the entries that only return None.
#include "bridge/error_codes.h"
#include "bridge/errors.h"
#include "bridge/messages.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {

#define TALKWIRE_RETIRED(name, message)                                   \
    PyObject *Connector_##name(PyObject *, PyObject *)                    \
    {                                                                     \
        return raise_error(kErrorNotImplemented, "%s", message);           \
    }

TALKWIRE_RETIRED(InitializeLogging, msg::kInitializeLoggingRetired)
TALKWIRE_RETIRED(PutAnswerMode, msg::kPutAnswerModeRetired)
TALKWIRE_RETIRED(InvokeTuningWizardEx, msg::kTuningWizardRetired)
TALKWIRE_RETIRED(PlaceCall, msg::kTuningWizardRetired)
TALKWIRE_RETIRED(Answer, msg::kAnswerRetired)
TALKWIRE_RETIRED(JoinChannel, msg::kJoinChannelRetired)

#undef TALKWIRE_RETIRED

// Accept any arguments, do nothing.  The push-to-talk binding stays in place.
PyObject *Connector_MuteChannelInput(PyObject *, PyObject *) { return new_none(); }
PyObject *Connector_SetChannelInputVolume(PyObject *, PyObject *) { return new_none(); }
PyObject *Connector_SetPreferredAudioInputDeviceLineNumber(PyObject *, PyObject *) { return new_none(); }
PyObject *Connector_DisableGlobalPushToTalkMode(PyObject *, PyObject *) { return new_none(); }

}  // namespace talkwire
