// The microphone test: the SDK captures until stopped, and the event
// handler raises audio_test_passed when a level event reports the
// microphone active.
#include "bridge/requests.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {

PyObject *Connector_StartAudioTest(PyObject *self, PyObject *)
{
    return method_entry(self, [](Connector &connector) {
        // Cleared even when the start fails: a stale pass must not count.
        connector.audio_test_passed = false;
        issue_request_and_wait(make_request(sdk_req_aux_capture_audio_start_create, connector.cookies),
                               msg::kCouldNotStartAudioTest);
        return new_none();
    });
}

PyObject *Connector_StopAudioTest(PyObject *self, PyObject *)
{
    // The flag keeps its value until the next start.
    return method_entry(self, [](Connector &connector) {
        issue_request_and_wait(make_request(sdk_req_aux_capture_audio_stop_create, connector.cookies),
                               msg::kCouldNotStopAudioTest);
        return new_none();
    });
}

PyObject *Connector_GetAudioTestPassed(PyObject *self, PyObject *)
{
    return py::integer(connector_of(self).audio_test_passed ? 1 : 0);
}

}  // namespace talkwire
