// Answers to connector creation, shutdown, login and account creation.
#include "dispatch/dispatcher.h"

namespace talkwire {
namespace dispatch {

void on_connector_create(Dispatch &dispatch, const sdk_resp_connector_create_t &response)
{
    if (response.base.return_code != 0) {
        dispatch.notify(Callback::OnInitialized, response.base.status_code);
        return;
    }
    dispatch.connector.connector_handle = or_empty(response.connector_handle);
    dispatch.notify(Callback::OnInitialized, 0);
}

void on_connector_shutdown(Dispatch &dispatch, const sdk_resp_connector_initiate_shutdown_t &response)
{
    if (response.base.return_code != 0 || dispatch.connector.connector_handle.empty())
        return;
    dispatch.connector.connector_handle.clear();
    dispatch.notify(Callback::OnShutDown);
}

void on_account_login(Dispatch &dispatch, const sdk_resp_account_login_t &response)
{
    const sdk_resp_base_t &base = response.base;
    if (base.return_code == 0) {
        // The login-state event reports the login to the listener.
        dispatch.connector.account_handle = or_empty(response.account_handle);
    } else if (base.status_code == kAccountDoesNotExist) {
        dispatch.notify(Callback::OnAccountNotFound);
    } else {
        dispatch.notify(Callback::FailedOnLogin, base.status_code, or_empty(base.status_text));
    }
}

void on_create_account(Dispatch &dispatch, const sdk_resp_aux_create_account_t &response)
{
    const sdk_resp_base_t &base = response.base;
    if (base.return_code == 0)
        dispatch.notify(Callback::OnAccountCreated);
    else
        dispatch.notify(Callback::OnCreateAccountFailed, base.status_code, or_empty(base.status_text));
}

}  // namespace dispatch
}  // namespace talkwire
