// The service's core: taking requests, timing the answers, settings and
// state.  The request handlers live beside it by subject.
#include "service.h"

#include "helpers.h"
#include "messages.h"

namespace voicesdk {
namespace service {

Service::~Service()
{
    stop();
}

void Service::stop()
{
    scheduler_.stop();
}

// Issuing thread.
bool Service::on_request(const IssuedRequest &request)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Batch batch;
        answer(request, batch);
        schedule(batch);
    }
    // Outside the lock: what is due now may include a microphone tick.
    scheduler_.run_due();
    return true;
}

void Service::schedule(Batch &batch)
{
    Clock::time_point base = Clock::now() + seconds(settings_.latency);
    for (Batch::Entry &entry : batch.entries)
        scheduler_.at(base + seconds(entry.delay), entry.tag, std::move(entry.message));
    batch.entries.clear();
}

void Service::answer(const IssuedRequest &request, Batch &batch)
{
    const sdk_req_base_t *base = request.request;
    switch (request.kind) {
    case sdk_request_connector_create:
        return connector_create(request, batch);
    case sdk_request_connector_initiate_shutdown:
        return connector_shutdown(request, batch);
    case sdk_request_account_login:
        return login(request, batch);
    case sdk_request_account_logout:
        return logout(request, batch);
    case sdk_request_aux_create_account:
        return create_account(request, batch);
    case sdk_request_account_channel_create:
        return channel_create(request, batch);
    case sdk_request_sessiongroup_create:
        return group_create(request, batch);
    case sdk_request_sessiongroup_add_session: {
        auto *add = reinterpret_cast<const sdk_req_sessiongroup_add_session_t *>(base);
        auto group = groups_.find(text(add->sessiongroup_handle));
        if (group == groups_.end())
            return batch.add(response_to(request, kUnknownHandle, "Unknown session group"));
        return add_session(request, group->second, group->first, text(add->channel_name), batch);
    }
    case sdk_request_session_create: {
        auto *create = reinterpret_cast<const sdk_req_session_create_t *>(base);
        std::string account = text(create->account_handle);
        if (!logins_.count(account))
            return batch.add(response_to(request, kUnknownHandle, "Unknown account"));
        return add_session(request, account, std::string(), text(create->channel_name), batch);
    }
    case sdk_request_sessiongroup_remove_session:
        return remove_session(request, batch);
    case sdk_request_sessiongroup_set_tx_session: {
        auto *select = reinterpret_cast<const sdk_req_sessiongroup_set_tx_session_t *>(base);
        if (sessions_.count(text(select->session_handle)))
            speaking_session_ = text(select->session_handle);
        return session_request(request, select->session_handle, batch);
    }
    case sdk_request_sessiongroup_set_tx_no_session:
        speaking_session_.clear();
        return batch.add(response_to(request));
    case sdk_request_session_mute_local_speaker:
        return session_request(request, request_as<sdk_req_session_mute_local_speaker_t>(request)->session_handle,
                               batch);
    case sdk_request_session_set_local_speaker_volume:
        return session_request(
            request, request_as<sdk_req_session_set_local_speaker_volume_t>(request)->session_handle, batch);
    case sdk_request_session_set_participant_mute_for_me:
        return session_request(
            request, request_as<sdk_req_session_set_participant_mute_for_me_t>(request)->session_handle, batch);
    case sdk_request_session_set_participant_volume_for_me:
        return session_request(
            request, request_as<sdk_req_session_set_participant_volume_for_me_t>(request)->session_handle, batch);
    case sdk_request_session_set_3d_position:
        return session_request(request, request_as<sdk_req_session_set_3d_position_t>(request)->session_handle,
                               batch);
    case sdk_request_channel_mute_all_users:
    case sdk_request_channel_mute_user: {
        // Both records begin with the account handle.
        std::string account = text(request_as<sdk_req_channel_mute_all_users_t>(request)->account_handle);
        if (!logins_.count(account))
            return batch.add(response_to(request, kUnknownHandle, "Unknown account"));
        return batch.add(response_to(request));
    }
    case sdk_request_aux_connectivity_info:
        return connectivity(request, batch);
    case sdk_request_aux_get_capture_devices:
        return devices(request, settings_.capture_devices, capture_device_, batch);
    case sdk_request_aux_get_render_devices:
        return devices(request, settings_.render_devices, render_device_, batch);
    case sdk_request_aux_set_capture_device:
        return select_device(request, settings_.capture_devices, capture_device_, batch);
    case sdk_request_aux_set_render_device:
        return select_device(request, settings_.render_devices, render_device_, batch);
    case sdk_request_aux_capture_audio_start:
        return mic_test_start(request, batch);
    case sdk_request_aux_capture_audio_stop:
        mic_test_stop();
        return batch.add(response_to(request));
    case sdk_request_aux_get_mic_level: {
        MessagePtr response = response_to(request);
        if (auto *record = as<sdk_resp_aux_get_mic_level_t>(response))
            record->level = mic_level_;
        return batch.add(std::move(response));
    }
    case sdk_request_aux_get_speaker_level: {
        MessagePtr response = response_to(request);
        if (auto *record = as<sdk_resp_aux_get_speaker_level_t>(response))
            record->level = speaker_level_;
        return batch.add(std::move(response));
    }
    case sdk_request_aux_set_mic_level:
        mic_level_ = request_as<sdk_req_aux_set_mic_level_t>(request)->requested_level;
        return batch.add(response_to(request));
    case sdk_request_aux_set_speaker_level:
        speaker_level_ = request_as<sdk_req_aux_set_speaker_level_t>(request)->requested_level;
        return batch.add(response_to(request));
    case sdk_request_aux_global_monitor_keyboard_mouse:
        return key_binding(request, batch);
    default:
        // Local mutes and volumes: nothing the service keeps.
        return batch.add(response_to(request));
    }
}

std::string Service::new_handle(const char *prefix)
{
    return std::string(prefix) + "-" + std::to_string(next_handle_++);
}

Settings Service::settings()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
}

void Service::configure(const Settings &settings)
{
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = settings;
    // A device that left the list is no longer in use.
    if (!listed(settings_.capture_devices, capture_device_))
        capture_device_ = settings_.capture_devices.empty() ? std::string() : settings_.capture_devices.front();
    if (!listed(settings_.render_devices, render_device_))
        render_device_ = settings_.render_devices.empty() ? std::string() : settings_.render_devices.front();
}

Snapshot Service::snapshot()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Snapshot out;
    out.connectors = static_cast<int>(connectors_.size());
    for (const auto &login : logins_)
        out.logged_in.push_back(login.second.name);
    for (const auto &account : created_accounts_)
        out.created_accounts.push_back(account.first);
    for (const auto &session : sessions_)
        out.sessions[session.first] = session.second.channel_name;
    out.speaking_session = speaking_session_;
    out.capture_device = capture_device_;
    out.render_device = render_device_;
    out.mic_level = mic_level_;
    out.speaker_level = speaker_level_;
    out.mic_test = mic_test_;
    out.key_binding = key_binding_;
    out.key_codes = key_codes_;
    out.pending = scheduler_.pending();
    return out;
}

bool Service::wait_idle(double timeout_seconds)
{
    return scheduler_.wait_idle(timeout_seconds);
}
}  // namespace service
}  // namespace voicesdk
