// The one frame every SDK message is handled in, and the switches that
// pick its branch by its type.
#include "dispatch/handle_message.h"

#include "bridge/trace.h"
#include "dispatch/message_context.h"

namespace talkwire {
namespace dispatch {
namespace {

// The record a message is, as its type says.
template <class Record, class Base>
const Record &as(const Base &base)
{
    return reinterpret_cast<const Record &>(base);
}

void trace_failure(const sdk_resp_base_t &response)
{
    if (response.status_text)
        trace("Failed Response received type=%d, code=%d - '%s'\r\n", response.response_type,
              response.status_code, response.status_text);
    else
        trace("Failed Response received type=%d, code=%d\r\n", response.response_type, response.status_code);
}

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

void route_event(MessageContext &context, const sdk_evt_base_t &event)
{
    switch (event.event_type) {
    case sdk_event_account_login_state_change: {
        const auto &login = as<sdk_evt_account_login_state_change_t>(event);
        on_login_state(context, login.login_state, login.status_code, login.status_text);
        break;
    }
    case sdk_event_account_login_status: {
        const auto &login = as<sdk_evt_account_login_status_t>(event);
        on_login_state(context, login.login_state, login.status_code, login.status_text);
        break;
    }
    case sdk_event_session_state_change:
        on_session_state(context, as<sdk_evt_session_state_change_t>(event));
        break;
    case sdk_event_participant_state_change:
        on_participant_state(context, as<sdk_evt_participant_state_change_t>(event));
        break;
    case sdk_event_participant_properties: {
        const auto &update = as<sdk_evt_participant_properties_t>(event);
        on_participant_properties(context, update.session_handle, update.participant_uri, update.flag_a,
                                  update.flag_b, update.level);
        break;
    }
    case sdk_event_participant_updated: {
        const auto &update = as<sdk_evt_participant_updated_t>(event);
        on_participant_properties(context, update.session_handle, update.participant_uri, update.flag_a,
                                  update.flag_b, update.level);
        break;
    }
    case sdk_event_aux_audio_properties:
        on_microphone_level(context, as<sdk_evt_aux_audio_properties_t>(event));
        break;
    case sdk_event_keyboard_mouse:
        on_key_event(context, as<sdk_evt_keyboard_mouse_t>(event));
        break;
    case sdk_event_media_stream_updated:
        on_media_state(context, as<sdk_evt_media_stream_updated_t>(event));
        break;
    case sdk_event_participant_added: {
        const auto &added = as<sdk_evt_participant_added_t>(event);
        on_participant_added(context, added.session_handle, added.participant_uri, added.participant_type);
        break;
    }
    case sdk_event_participant_removed: {
        const auto &removed = as<sdk_evt_participant_removed_t>(event);
        on_participant_removed(context, removed.session_handle, removed.participant_uri);
        break;
    }
    default:
        context.notify(Callback::OnConnectorEvent, event.event_type, 0, 0);
        break;
    }
}

}  // namespace

void handle_message(Connector &connector, SdkMessage &&message)
{
    MessageContext context(connector, std::move(message));
    const sdk_message_base_t &handled = context.message();
    context.reporting_errors([&] {
        switch (handled.message_type) {
        case sdk_message_response:
            route_response(context, as<sdk_resp_base_t>(handled));
            break;
        case sdk_message_event:
            route_event(context, as<sdk_evt_base_t>(handled));
            break;
        default:
            break;  // released unheard
        }
    });
}

}  // namespace dispatch
}  // namespace talkwire
