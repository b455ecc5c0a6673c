// Mute: the connector-wide microphone mute.
#include "bridge/requests.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {

PyObject *Connector_Mute(PyObject *self, CallArgs args)
{
    int mute = 0;
    if (!args::parse(args, "i:Mute", &mute))
        return nullptr;
    return method_entry(self, [&](Connector &connector) {
        if (mute != 0 && mute != 1)
            throw_error(kErrorInvalidArg, msg::kInvalidMuteValue);
        if (connector.connector_handle.empty())
            throw_error(kErrorFail, msg::kConnectorHandleEmpty);
        auto request = make_request(sdk_req_connector_mute_local_mic_create, connector.cookies);
        request.text(&sdk_req_connector_mute_local_mic_t::connector_handle, connector.connector_handle);
        request->mute = mute;
        issue_request(std::move(request), msg::kCouldNotMuteMicrophoneDot);
        return new_none();
    });
}

}  // namespace talkwire
