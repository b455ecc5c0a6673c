// The service's core: taking requests, timing the answers, settings and
// state.  The request handlers live beside it by subject.
#include "service.h"

#include "helpers.h"
#include "messages.h"

namespace voicesdk {
namespace service {

bool machine_request(int kind)
{
    switch (kind) {
    case sdk_request_aux_connectivity_info:
    case sdk_request_aux_get_capture_devices:
    case sdk_request_aux_get_render_devices:
    case sdk_request_aux_set_capture_device:
    case sdk_request_aux_set_render_device:
    case sdk_request_aux_capture_audio_start:
    case sdk_request_aux_capture_audio_stop:
    case sdk_request_aux_get_mic_level:
    case sdk_request_aux_get_speaker_level:
    case sdk_request_aux_set_mic_level:
    case sdk_request_aux_set_speaker_level:
    case sdk_request_aux_global_monitor_keyboard_mouse:
    case sdk_request_connector_set_local_mic_volume:
    case sdk_request_connector_set_local_speaker_volume:
    case sdk_request_connector_mute_local_speaker:
        return true;
    default:
        return false;
    }
}

Service::Service(Deliver deliver) : deliver_(deliver), scheduler_(std::move(deliver)) {}

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
        Batch batch(request.origin);
        answer(request, batch);
        schedule(batch);
    }
    // Outside the lock: what is due now may include a microphone tick.
    scheduler_.run_due();
    return true;
}

void Service::disconnect(uint64_t origin)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Batch batch(origin);
        std::vector<std::string> gone;
        for (const auto &connector : connectors_)
            if (connector.second.origin == origin)
                gone.push_back(connector.first);
        for (const std::string &handle : gone)
            end_connector(handle, batch);
        schedule(batch);
    }
    scheduler_.run_due();
}

std::string Service::connector_of(uint64_t origin)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto &connector : connectors_)
        if (connector.second.origin == origin)
            return connector.first;
    return std::string();
}

void Service::schedule(Batch &batch)
{
    Clock::time_point base = Clock::now() + seconds(settings_.latency);
    for (Batch::Entry &entry : batch.entries)
        scheduler_.at(base + seconds(entry.delay), entry.tag, entry.to, std::move(entry.message));
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
        const std::string *account = own_group(text(add->sessiongroup_handle), request.origin);
        if (!account)
            return batch.add(response_to(request, kUnknownHandle, "Unknown session group"));
        return add_session(request, *account, text(add->sessiongroup_handle), batch);
    }
    case sdk_request_session_create: {
        std::string account = text(request_as<sdk_req_session_create_t>(request)->account_handle);
        if (!own_login(account, request.origin))
            return batch.add(response_to(request, kUnknownHandle, "Unknown account"));
        return add_session(request, account, std::string(), batch);
    }
    case sdk_request_sessiongroup_remove_session:
        return remove_session(request, batch);
    case sdk_request_sessiongroup_set_tx_session:
        return speak_into(request, batch);
    case sdk_request_sessiongroup_set_tx_no_session:
        return speak_into_none(request, batch);
    case sdk_request_connector_mute_local_mic:
        return mute_microphone(request, batch);
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
    case sdk_request_channel_mute_user:
        return moderator_mute(request, batch);
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

Service::Connector *Service::own_connector(const std::string &handle, uint64_t origin)
{
    auto connector = connectors_.find(handle);
    return connector != connectors_.end() && connector->second.origin == origin ? &connector->second : nullptr;
}

Service::Login *Service::own_login(const std::string &handle, uint64_t origin)
{
    auto login = logins_.find(handle);
    return login != logins_.end() && login->second.origin == origin ? &login->second : nullptr;
}

const std::string *Service::own_group(const std::string &handle, uint64_t origin)
{
    auto group = groups_.find(handle);
    return group != groups_.end() && own_login(group->second, origin) ? &group->second : nullptr;
}

Service::Session *Service::own_session(const std::string &handle, uint64_t origin)
{
    auto session = sessions_.find(handle);
    return session != sessions_.end() && session->second.origin == origin ? &session->second : nullptr;
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
    for (const auto &login : logins_)
        if (out.speaking_session.empty() && login.second.tx_chosen)
            out.speaking_session = login.second.tx_session;
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
