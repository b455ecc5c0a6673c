// The service's settings and state across the library's boundary: C records
// for voicesdk/control.h, each copy backed by C++ storage that its owner
// field points to.
#include "voicesdk/control.h"

#include "registration.h"
#include "service.h"

#include <memory>
#include <new>

namespace voicesdk {
namespace service {
namespace {

// Pointers into a list of strings, for an sdk_ctl_texts_t.
struct TextList {
    std::vector<const char *> items;

    sdk_ctl_texts_t view(const std::vector<std::string> &texts)
    {
        items.clear();
        for (const std::string &text : texts)
            items.push_back(text.c_str());
        return sdk_ctl_texts_t{static_cast<int>(items.size()), items.data()};
    }
};

const char *or_null(const std::string &text)
{
    return text.empty() ? nullptr : text.c_str();
}

struct SettingsCopy {
    sdk_ctl_service_settings_t record{};
    Settings settings;
    std::vector<sdk_ctl_account_t> accounts;
    TextList peers, capture, render;
    std::vector<std::string> channel_names;
    std::vector<TextList> channel_lists;
    std::vector<sdk_ctl_channel_peers_t> channel_peers;

    explicit SettingsCopy(const Settings &from) : settings(from)
    {
        sdk_ctl_service_settings_t &r = record;
        const Settings &s = settings;
        r.latency = s.latency;
        r.open_accounts = s.open_accounts;
        for (const auto &account : s.accounts)
            accounts.push_back({account.first.c_str(), account.second.any_password ? nullptr : account.second.password.c_str()});
        r.account_count = static_cast<int>(accounts.size());
        r.accounts = accounts.data();
        r.peers = peers.view(s.peers);
        channel_lists.resize(s.channel_peers.size());
        size_t i = 0;
        for (const auto &channel : s.channel_peers) {
            channel_peers.push_back({channel.first.c_str(), channel_lists[i++].view(channel.second)});
        }
        r.channel_peer_count = static_cast<int>(channel_peers.size());
        r.channel_peers = channel_peers.data();
        r.peer_interval = s.peer_interval;
        r.talk_rounds = s.talk_rounds;
        r.peers_leave = s.peers_leave;
        r.capture_devices = capture.view(s.capture_devices);
        r.render_devices = render.view(s.render_devices);
        r.mic_level_count = static_cast<int>(s.mic_levels.size());
        r.mic_levels = s.mic_levels.data();
        r.mic_interval = s.mic_interval;
        r.failing_test = s.failing_test;
        r.failing_result = s.failing_result;
        r.failing_info = or_null(s.failing_info);
        r.owner = this;
    }
};

struct StateCopy {
    sdk_ctl_service_state_t record{};
    Snapshot state;
    TextList logged_in, created;
    std::vector<std::string> handles, channels;
    std::vector<sdk_ctl_session_t> sessions;

    explicit StateCopy(const Snapshot &from) : state(from)
    {
        sdk_ctl_service_state_t &r = record;
        const Snapshot &s = state;
        r.connectors = s.connectors;
        r.logged_in = logged_in.view(s.logged_in);
        r.created_accounts = created.view(s.created_accounts);
        for (const auto &session : s.sessions)
            sessions.push_back({session.first.c_str(), session.second.c_str()});
        r.session_count = static_cast<int>(sessions.size());
        r.sessions = sessions.data();
        r.speaking_session = or_null(s.speaking_session);
        r.capture_device = or_null(s.capture_device);
        r.render_device = or_null(s.render_device);
        r.mic_level = s.mic_level;
        r.speaker_level = s.speaker_level;
        r.mic_test = s.mic_test;
        r.key_binding = or_null(s.key_binding);
        r.key_code_count = static_cast<int>(s.key_codes.size());
        r.key_codes = s.key_codes.data();
        r.pending = s.pending;
        r.owner = this;
    }
};

template <class T> bool items_given(int count, const T *items)
{
    return count >= 0 && (count == 0 || items);
}

bool texts_given(const sdk_ctl_texts_t &texts)
{
    if (!items_given(texts.count, texts.items))
        return false;
    for (int i = 0; i < texts.count; ++i)
        if (!texts.items[i])
            return false;
    return true;
}

std::vector<std::string> texts_of(const sdk_ctl_texts_t &texts)
{
    return std::vector<std::string>(texts.items, texts.items + texts.count);
}

bool settings_from(const sdk_ctl_service_settings_t &r, Settings &s)
{
    if (!items_given(r.account_count, r.accounts) || !texts_given(r.peers) ||
        !items_given(r.channel_peer_count, r.channel_peers) || !texts_given(r.capture_devices) ||
        !texts_given(r.render_devices) || !items_given(r.mic_level_count, r.mic_levels))
        return false;
    s.latency = r.latency;
    s.open_accounts = r.open_accounts != 0;
    for (int i = 0; i < r.account_count; ++i) {
        const sdk_ctl_account_t &account = r.accounts[i];
        if (!account.name)
            return false;
        Settings::Account &entry = s.accounts[account.name];
        entry.any_password = account.password == nullptr;
        entry.password = account.password ? account.password : "";
    }
    s.peers = texts_of(r.peers);
    for (int i = 0; i < r.channel_peer_count; ++i) {
        const sdk_ctl_channel_peers_t &channel = r.channel_peers[i];
        if (!channel.channel || !texts_given(channel.peers))
            return false;
        s.channel_peers[channel.channel] = texts_of(channel.peers);
    }
    s.peer_interval = r.peer_interval;
    s.talk_rounds = r.talk_rounds;
    s.peers_leave = r.peers_leave != 0;
    s.capture_devices = texts_of(r.capture_devices);
    s.render_devices = texts_of(r.render_devices);
    s.mic_levels.assign(r.mic_levels, r.mic_levels + r.mic_level_count);
    s.mic_interval = r.mic_interval;
    s.failing_test = r.failing_test;
    s.failing_result = r.failing_result;
    s.failing_info = r.failing_info ? r.failing_info : "";
    return true;
}

// Runs `make` for a copy; every C++ failure becomes a status.
template <class Make> int guarded(Make make)
{
    try {
        return make();
    } catch (const std::bad_alloc &) {
        return sdk_ctl_service_no_memory;
    }
}

// Gives the caller a record owned by a new Copy of what `take` reads from
// the running service; the record's free function deletes the Copy.
template <typename Copy, typename Record, typename Take>
int hand_out(Record **out, Take take)
{
    if (!out)
        return sdk_ctl_service_bad_settings;
    *out = nullptr;
    std::shared_ptr<Service> service = running_service();
    if (!service)
        return sdk_ctl_service_not_running;
    return guarded([&] {
        *out = &(new Copy(take(*service)))->record;
        return sdk_ctl_service_ok;
    });
}

}  // namespace
}  // namespace service
}  // namespace voicesdk

using namespace voicesdk::service;

extern "C" {

int sdk_ctl_service_settings(sdk_ctl_service_settings_t **out)
{
    return hand_out<SettingsCopy>(out, [](Service &service) { return service.settings(); });
}

void sdk_ctl_service_settings_free(sdk_ctl_service_settings_t *settings)
{
    if (settings)
        delete static_cast<SettingsCopy *>(settings->owner);
}

int sdk_ctl_service_state(sdk_ctl_service_state_t **out)
{
    return hand_out<StateCopy>(out, [](Service &service) { return service.snapshot(); });
}

void sdk_ctl_service_state_free(sdk_ctl_service_state_t *state)
{
    if (state)
        delete static_cast<StateCopy *>(state->owner);
}

int sdk_ctl_service_configure(const sdk_ctl_service_settings_t *settings)
{
    if (!settings)
        return sdk_ctl_service_bad_settings;
    std::shared_ptr<Service> service = running_service();
    if (!service)
        return sdk_ctl_service_not_running;
    return guarded([&] {
        Settings converted;
        if (!settings_from(*settings, converted))
            return sdk_ctl_service_bad_settings;
        service->configure(converted);
        return sdk_ctl_service_ok;
    });
}

int sdk_ctl_service_wait_idle(double timeout_seconds)
{
    std::shared_ptr<Service> service = running_service();
    if (!service)
        return -1;
    return service->wait_idle(timeout_seconds) ? 1 : 0;
}

}  // extern "C"
