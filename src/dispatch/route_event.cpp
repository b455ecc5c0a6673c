// Events, by their type.
#include "dispatch/message_context.h"

namespace talkwire {
namespace dispatch {

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

}  // namespace dispatch
}  // namespace talkwire
