// Login and Logout.
#include "bridge/requests.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {

PyObject *Connector_Login(PyObject *self, CallArgs args)
{
    std::string account_name;
    std::string password;
    // Both strings are required: an omitted one has no meaning.
    static constexpr const char *kFormat = "|ss:Login";
    if (!args::parse(args, kFormat, &account_name, &password) || !args::require_given(args, kFormat, 2))
        return nullptr;
    return method_entry(self, [&](Connector &connector) {
        if (connector.connector_handle.empty())
            throw_error(kErrorFail, msg::kLoginBeforeConnector);
        connector.account_name = account_name;
        connector.account_uri = account_name + "@" + connector.voice_domain;

        using Record = sdk_req_account_login_t;
        auto request = make_request(sdk_req_account_login_create, connector.cookies);
        request.text(&Record::connector_handle, connector.connector_handle);
        request.text(&Record::account_name, account_name);
        request.text(&Record::password, password);
        request->login_option = 2;
        request->login_trailing_option = 0;
        issue_request(std::move(request), msg::kCouldNotLogin);
        return new_none();
    });
}

PyObject *Connector_Logout(PyObject *self, PyObject *)
{
    return method_entry(self, [](Connector &connector) {
        if (connector.account_handle.empty())
            return new_none();
        // The handle stays until the SDK reports the logged-out state.
        auto request = make_request(sdk_req_account_logout_create, connector.cookies);
        request.text(&sdk_req_account_logout_t::account_handle, connector.account_handle);
        issue_request(std::move(request), msg::kCouldNotLogout);
        return new_none();
    });
}

}  // namespace talkwire
