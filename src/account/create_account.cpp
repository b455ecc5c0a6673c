// CreateAccount: needs no handle; the account server is the one the last
// InitializeEx named (none before it).
#include "bridge/requests.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {

PyObject *Connector_CreateAccount(PyObject *self, CallArgs args)
{
    std::string first, second, third, fourth;
    // Every string is required: an omitted one has no meaning.
    static constexpr const char *kFormat = "|ssss:CreateAccount";
    if (!args::parse(args, kFormat, &first, &second, &third, &fourth) || !args::require_given(args, kFormat, 4))
        return nullptr;
    return method_entry(self, [&](Connector &connector) {
        using Record = sdk_req_aux_create_account_t;
        auto request = make_request(sdk_req_aux_create_account_create, connector.cookies);
        request.text(&Record::access_token, third);
        request.text(&Record::account_server_url, connector.account_server_url);
        request.text(&Record::user_name, first);
        request.text(&Record::password, second);
        request.text(&Record::email, "");
        request.text(&Record::display_name, fourth);
        request.text(&Record::language, "");
        issue_request(std::move(request), msg::kErrorCreatingAccount);
        return new_none();
    });
}

}  // namespace talkwire
