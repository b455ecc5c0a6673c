// GetMicrophoneVolume and GetSpeakerVolume: synchronous level reads.
#include "audio/levels.h"
#include "bridge/requests.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {
namespace {

template <class Record, class ResponseRecord>
PyObject *read_level(PyObject *self, Record *(*create_record)(), const char *message)
{
    return method_entry(self, [&](Connector &connector) {
        SyncResponse response = issue_request_and_wait(make_request(create_record, connector.cookies), message);
        return py::integer(level_to_volume(response.as<ResponseRecord>()->level));
    });
}

}  // namespace

PyObject *Connector_GetMicrophoneVolume(PyObject *self, PyObject *)
{
    return read_level<sdk_req_aux_get_mic_level_t, sdk_resp_aux_get_mic_level_t>(
        self, sdk_req_aux_get_mic_level_create, msg::kCouldNotGetMicrophoneVolume);
}

PyObject *Connector_GetSpeakerVolume(PyObject *self, PyObject *)
{
    return read_level<sdk_req_aux_get_speaker_level_t, sdk_resp_aux_get_speaker_level_t>(
        self, sdk_req_aux_get_speaker_level_create, msg::kCouldNotGetSpeakerVolume);
}

}  // namespace talkwire
