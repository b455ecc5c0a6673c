// Answers to connector creation, shutdown, login and account creation.
#include "dispatch/message_context.h"

namespace talkwire {
namespace dispatch {

void on_connector_create(MessageContext &context, const sdk_resp_connector_create_t &response)
{
    if (response.base.return_code != 0) {
        context.notify(Callback::OnInitialized, response.base.status_code);
        return;
    }
    context.connector.connector_handle = or_empty(response.connector_handle);
    context.notify(Callback::OnInitialized, 0);
}

void on_connector_shutdown(MessageContext &context, const sdk_resp_connector_initiate_shutdown_t &response)
{
    if (response.base.return_code != 0 || context.connector.connector_handle.empty())
        return;
    context.connector.connector_handle.clear();
    context.notify(Callback::OnShutDown);
}

void on_account_login(MessageContext &context, const sdk_resp_account_login_t &response)
{
    const sdk_resp_base_t &base = response.base;
    if (base.return_code == 0) {
        // The login-state event reports the login to the listener.
        context.connector.account_handle = or_empty(response.account_handle);
    } else if (base.status_code == TALKWIRE_STATUS_ACCOUNT_NOT_FOUND) {
        context.notify(Callback::OnAccountNotFound);
    } else {
        context.notify(Callback::FailedOnLogin, base.status_code, or_empty(base.status_text));
    }
}

void on_create_account(MessageContext &context, const sdk_resp_aux_create_account_t &response)
{
    const sdk_resp_base_t &base = response.base;
    if (base.return_code == 0)
        context.notify(Callback::OnAccountCreated);
    else
        context.notify(Callback::OnCreateAccountFailed, base.status_code, or_empty(base.status_text));
}

}  // namespace dispatch
}  // namespace talkwire
