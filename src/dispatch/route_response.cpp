// Responses, by their type.
#include "bridge/trace.h"
#include "dispatch/message_context.h"

namespace talkwire {
namespace dispatch {
namespace {

void trace_failure(const sdk_resp_base_t &response)
{
    if (response.status_text)
        trace("Failed Response received type=%d, code=%d - '%s'\r\n", response.response_type,
              response.status_code, response.status_text);
    else
        trace("Failed Response received type=%d, code=%d\r\n", response.response_type, response.status_code);
}

}  // namespace

void route_response(MessageContext &context, const sdk_resp_base_t &response)
{
    if (response.return_code != 0)
        trace_failure(response);
    switch (response.response_type) {
    case sdk_response_connector_create:
        on_connector_create(context, as<sdk_resp_connector_create_t>(response));
        trace("%s %d\r\n", "sdk_resp_connector_create_t", response.status_code);
        break;
    case sdk_response_connector_initiate_shutdown:
        on_connector_shutdown(context, as<sdk_resp_connector_initiate_shutdown_t>(response));
        break;
    case sdk_response_account_login:
        on_account_login(context, as<sdk_resp_account_login_t>(response));
        break;
    case sdk_response_sessiongroup_add_session:
        on_add_session(context, as<sdk_resp_sessiongroup_add_session_t>(response));
        break;
    case sdk_response_sessiongroup_remove_session:
        on_remove_session(context, as<sdk_resp_sessiongroup_remove_session_t>(response));
        break;
    case sdk_response_session_create:
        on_session_create(context, as<sdk_resp_session_create_t>(response));
        break;
    case sdk_response_account_channel_create:
        on_channel_create(context, as<sdk_resp_account_channel_create_t>(response));
        break;
    case sdk_response_aux_connectivity_info:
        on_connectivity_info(context, as<sdk_resp_aux_connectivity_info_t>(response));
        break;
    case sdk_response_aux_create_account:
        on_create_account(context, as<sdk_resp_aux_create_account_t>(response));
        break;
    default:
        // A logout's answer and the answers to synchronous callers need
        // nothing more.
        break;
    }
}

}  // namespace dispatch
}  // namespace talkwire
