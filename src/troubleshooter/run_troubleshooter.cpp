// RunTroubleShooter: asks the SDK to run its connectivity tests against
// servers named after the voice domain.
#include "bridge/requests.h"
#include "module/deployment.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {

PyObject *Connector_RunTroubleShooter(PyObject *self, PyObject *)
{
    return method_entry(self, [](Connector &connector) {
        auto request = make_request(sdk_req_aux_connectivity_info_create, connector.cookies);
        request.text(&sdk_req_aux_connectivity_info_t::dns_server, deployment::kPublicDnsServer);
        request.text(&sdk_req_aux_connectivity_info_t::stun_server, "stun." + connector.voice_domain);
        request.text(&sdk_req_aux_connectivity_info_t::echo_server, "echo." + connector.voice_domain);
        request->numeric_setting_1 = 50505;
        request->numeric_setting_2 = 10000;
        issue_request(std::move(request), msg::kCouldNotRunTroubleshooter);
        return new_none();
    });
}

}  // namespace talkwire
