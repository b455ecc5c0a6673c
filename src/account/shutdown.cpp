// InitiateShutdown: the connector handle goes only with the SDK's answer.
#include "bridge/requests.h"
#include "module/deployment.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {

PyObject *Connector_InitiateShutdown(PyObject *self, PyObject *)
{
    return method_entry(self, [](Connector &connector) {
        if (connector.connector_handle.empty())
            return new_none();
        using Record = sdk_req_connector_initiate_shutdown_t;
        auto request = make_request(sdk_req_connector_initiate_shutdown_create, connector.cookies);
        request.text(&Record::connector_handle, connector.connector_handle);
        request.text(&Record::application_name, deployment::kProductWord);
        issue_request(std::move(request), msg::kCouldNotShutdown);
        return new_none();
    });
}

}  // namespace talkwire
