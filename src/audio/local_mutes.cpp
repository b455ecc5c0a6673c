// Talk and MuteSpeakers: the connector's local microphone and speaker
// mutes.  The value goes to the SDK as given, with whatever connector
// handle there is (an empty one included).
#include "bridge/requests.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {
namespace {

template <class Record>
PyObject *mute_local(PyObject *self, int mute, Record *(*create_record)(), const char *message)
{
    return method_entry(self, [&](Connector &connector) {
        auto request = make_request(create_record, connector.cookies);
        request.text(&Record::connector_handle, connector.connector_handle);
        request->mute = mute;
        issue_request(std::move(request), message);
        return new_none();
    });
}

}  // namespace

PyObject *Connector_Talk(PyObject *self, CallArgs args)
{
    int mute = 0;  // an omitted value unmutes
    if (!args::parse(args, "|i:Talk", &mute))
        return nullptr;
    return mute_local(self, mute, sdk_req_connector_mute_local_mic_create, msg::kCouldNotMuteMicrophone);
}

PyObject *Connector_MuteSpeakers(PyObject *self, CallArgs args)
{
    static constexpr const char *kFormat = "|i:MuteSpeakers";
    int mute = 0;
    if (!args::parse(args, kFormat, &mute) || !args::require_given(args, kFormat, 1))
        return nullptr;
    return mute_local(self, mute, sdk_req_connector_mute_local_speaker_create, msg::kCouldNotMuteSpeakers);
}

}  // namespace talkwire
