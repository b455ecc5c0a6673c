#include "bridge/errors.h"
#include "bridge/trace.h"
#include "dispatch/dispatch.h"
#include "dispatch/dispatcher.h"

#include <new>

namespace talkwire {
namespace dispatch {
namespace {

template <class Record>
const Record &as(const sdk_resp_base_t *response)
{
    return *reinterpret_cast<const Record *>(response);
}

void trace_failure(const sdk_resp_base_t *response)
{
    if (response->status_text)
        trace("Failed Response received type=%d, code=%d - '%s'\r\n", response->response_type,
              response->status_code, response->status_text);
    else
        trace("Failed Response received type=%d, code=%d\r\n", response->response_type, response->status_code);
}

void run_branch(Dispatch &dispatch, const sdk_resp_base_t *response)
{
    switch (response->response_type) {
    case sdk_response_connector_create:
        on_connector_create(dispatch, as<sdk_resp_connector_create_t>(response));
        trace("%s %d\r\n", "sdk_resp_connector_create_t", response->status_code);
        break;
    case sdk_response_connector_initiate_shutdown:
        on_connector_shutdown(dispatch, as<sdk_resp_connector_initiate_shutdown_t>(response));
        break;
    case sdk_response_account_login:
        on_account_login(dispatch, as<sdk_resp_account_login_t>(response));
        break;
    case sdk_response_sessiongroup_add_session:
        on_add_session(dispatch, as<sdk_resp_sessiongroup_add_session_t>(response));
        break;
    case sdk_response_sessiongroup_remove_session:
        on_remove_session(dispatch, as<sdk_resp_sessiongroup_remove_session_t>(response));
        break;
    case sdk_response_session_create:
        on_session_create(dispatch, as<sdk_resp_session_create_t>(response));
        break;
    case sdk_response_account_channel_create:
        on_channel_create(dispatch, as<sdk_resp_account_channel_create_t>(response));
        break;
    case sdk_response_aux_connectivity_info:
        on_connectivity_info(dispatch, as<sdk_resp_aux_connectivity_info_t>(response));
        break;
    case sdk_response_aux_create_account:
        on_create_account(dispatch, as<sdk_resp_aux_create_account_t>(response));
        break;
    default:
        // Type 28 and the answers to synchronous callers need nothing more.
        break;
    }
}

}  // namespace

void handle_response(Connector &connector, sdk_resp_base_t *response)
{
    Dispatch dispatch(connector);  // its callback result outlives the response
    struct Release {
        sdk_resp_base_t *response;
        ~Release() { destroy_resp(response); }
    } release{response};

    if (response->return_code != 0)
        trace_failure(response);
    try {
        run_branch(dispatch, response);
    } catch (const PyErrOccurred &) {
        dispatch.report_error();
    } catch (const std::bad_alloc &) {
        PyErr_NoMemory();
        dispatch.report_error();
    }
}

}  // namespace dispatch
}  // namespace talkwire
