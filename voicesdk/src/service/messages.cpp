#include "messages.h"

namespace voicesdk {
namespace service {

MessagePtr response_to(const IssuedRequest &request, int status_code, const char *status_text)
{
    sdk_resp_base_t *response = make_response(request_info(request.kind)->type, request.request);
    if (!response)
        return MessagePtr();
    if (status_code != 0) {
        response->return_code = 1;
        response->status_code = status_code;
        response->status_text = copy_text(status_text);
    }
    return MessagePtr(&response->message);
}

MessagePtr event_of(int event_type)
{
    sdk_evt_base_t *event = make_event(event_type);
    return MessagePtr(event ? &event->message : nullptr);
}

void put_text(char *&field, const std::string &value)
{
    field = copy_text(value.c_str());
}

MessagePtr login_state_event(const std::string &account_handle, int login_state)
{
    MessagePtr event = event_of(sdk_event_account_login_state_change);
    if (auto *record = as<sdk_evt_account_login_state_change_t>(event)) {
        put_text(record->account_handle, account_handle);
        record->login_state = login_state;
    }
    return event;
}

MessagePtr media_event(const std::string &session_handle, int media_state)
{
    MessagePtr event = event_of(sdk_event_media_stream_updated);
    if (auto *record = as<sdk_evt_media_stream_updated_t>(event)) {
        put_text(record->session_handle, session_handle);
        record->media_state = media_state;
    }
    return event;
}

MessagePtr participant_added(const std::string &session_handle, const std::string &uri)
{
    MessagePtr event = event_of(sdk_event_participant_added);
    if (auto *record = as<sdk_evt_participant_added_t>(event)) {
        put_text(record->session_handle, session_handle);
        put_text(record->participant_uri, uri);
        record->participant_type = 0;  // a user like any other
    }
    return event;
}

MessagePtr participant_removed(const std::string &session_handle, const std::string &uri)
{
    MessagePtr event = event_of(sdk_event_participant_removed);
    if (auto *record = as<sdk_evt_participant_removed_t>(event)) {
        put_text(record->session_handle, session_handle);
        put_text(record->participant_uri, uri);
    }
    return event;
}

MessagePtr participant_updated(const std::string &session_handle, const std::string &uri, int flag_a, int flag_b,
                               double level)
{
    MessagePtr event = event_of(sdk_event_participant_updated);
    if (auto *record = as<sdk_evt_participant_updated_t>(event)) {
        put_text(record->session_handle, session_handle);
        put_text(record->participant_uri, uri);
        record->flag_a = flag_a;
        record->flag_b = flag_b;
        record->level = level;
    }
    return event;
}

MessagePtr mic_level_event(double energy)
{
    MessagePtr event = event_of(sdk_event_aux_audio_properties);
    if (auto *record = as<sdk_evt_aux_audio_properties_t>(event)) {
        // Below a tenth of full scale the service hears no voice.
        record->mic_active = energy >= 0.1 ? 1 : 0;
        record->mic_energy = energy;
    }
    return event;
}

}  // namespace service
}  // namespace voicesdk
