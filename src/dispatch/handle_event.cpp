#include "bridge/errors.h"
#include "dispatch/dispatch.h"
#include "dispatch/dispatcher.h"

#include <new>

namespace talkwire {
namespace dispatch {
namespace {

template <class Record>
const Record &as(const sdk_evt_base_t *event)
{
    return *reinterpret_cast<const Record *>(event);
}

void run_branch(Dispatch &dispatch, const sdk_evt_base_t *event)
{
    switch (event->event_type) {
    case sdk_event_account_login_state_change: {
        const auto &login = as<sdk_evt_account_login_state_change_t>(event);
        on_login_state(dispatch, login.login_state, login.status_code, login.status_text);
        break;
    }
    case sdk_event_account_login_status: {
        const auto &login = as<sdk_evt_account_login_status_t>(event);
        on_login_state(dispatch, login.login_state, login.status_code, login.status_text);
        break;
    }
    case sdk_event_session_state_change:
        on_session_state(dispatch, as<sdk_evt_session_state_change_t>(event));
        break;
    case sdk_event_participant_state_change:
        on_participant_state(dispatch, as<sdk_evt_participant_state_change_t>(event));
        break;
    case sdk_event_participant_properties: {
        const auto &update = as<sdk_evt_participant_properties_t>(event);
        on_participant_properties(dispatch, update.session_handle, update.participant_uri, update.flag_a,
                                  update.flag_b, update.level);
        break;
    }
    case sdk_event_participant_updated: {
        const auto &update = as<sdk_evt_participant_updated_t>(event);
        on_participant_properties(dispatch, update.session_handle, update.participant_uri, update.flag_a,
                                  update.flag_b, update.level);
        break;
    }
    case sdk_event_aux_audio_properties:
        on_microphone_level(dispatch, as<sdk_evt_aux_audio_properties_t>(event));
        break;
    case sdk_event_keyboard_mouse:
        on_key_event(dispatch, as<sdk_evt_keyboard_mouse_t>(event));
        break;
    case sdk_event_media_stream_updated:
        on_media_state(dispatch, as<sdk_evt_media_stream_updated_t>(event));
        break;
    case sdk_event_participant_added: {
        const auto &added = as<sdk_evt_participant_added_t>(event);
        on_participant_added(dispatch, added.session_handle, added.participant_uri, added.participant_type);
        break;
    }
    case sdk_event_participant_removed: {
        const auto &removed = as<sdk_evt_participant_removed_t>(event);
        on_participant_removed(dispatch, removed.session_handle, removed.participant_uri);
        break;
    }
    default:
        dispatch.notify(Callback::OnConnectorEvent, event->event_type, 0, 0);
        break;
    }
}

}  // namespace

void handle_event(Connector &connector, sdk_evt_base_t *event)
{
    Dispatch dispatch(connector);  // its callback result outlives the event
    struct Release {
        sdk_evt_base_t *event;
        ~Release() { destroy_evt(event); }
    } release{event};

    try {
        run_branch(dispatch, event);
    } catch (const PyErrOccurred &) {
        dispatch.report_error();
    } catch (const std::bad_alloc &) {
        PyErr_NoMemory();
        dispatch.report_error();
    }
}

}  // namespace dispatch
}  // namespace talkwire
