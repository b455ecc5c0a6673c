#include "channels/registry.h"

#include "bridge/trace.h"

namespace talkwire {

Channel *ChannelRegistry::find_channel(const std::string &name) const
{
    auto it = channels_.find(name);
    return it == channels_.end() ? nullptr : it->second.get();
}

Channel *ChannelRegistry::find_channel_by_session(const std::string &session_handle) const
{
    for (const auto &entry : channels_) {
        if (entry.second->session_handle == session_handle)
            return entry.second.get();
    }
    trace("%s not found", session_handle.c_str());
    return nullptr;
}

Channel *ChannelRegistry::add_channel(const std::string &name)
{
    auto it = channels_.find(name);
    if (it == channels_.end())
        it = channels_.emplace(name, std::unique_ptr<Channel>(new Channel(name))).first;
    return it->second.get();
}

void ChannelRegistry::remove_channel(const std::string &name) { channels_.erase(name); }

std::unique_ptr<Channel> ChannelRegistry::take_channel(const std::string &name)
{
    auto it = channels_.find(name);
    if (it == channels_.end())
        return nullptr;
    std::unique_ptr<Channel> record = std::move(it->second);
    channels_.erase(it);
    return record;
}

void ChannelRegistry::clear()
{
    // Moved out first: destroying records must not meet a half-cleared map.
    ChannelMap doomed;
    doomed.swap(channels_);
    desired_.clear();
}

int ChannelRegistry::count_active_channels() const
{
    int count = 0;
    for (const auto &entry : channels_) {
        if (static_cast<int32_t>(entry.second->state) <= static_cast<int32_t>(ChannelState::Leaving))
            ++count;
    }
    return count;
}

int ChannelRegistry::count_in_state(ChannelState state) const
{
    int count = 0;
    for (const auto &entry : channels_)
        count += entry.second->state == state;
    return count;
}

std::vector<std::string> ChannelRegistry::names_in_state(ChannelState state) const
{
    std::vector<std::string> names;
    for (const auto &entry : channels_) {
        if (entry.second->state == state)
            names.push_back(entry.first);
    }
    return names;
}

bool ChannelRegistry::store_participant(Channel &channel, const Participant &participant)
{
    auto result = channel.participants.insert_or_assign(participant.uri, participant);
    return !result.second;
}

void ChannelRegistry::remove_participant(Channel &channel, const std::string &uri)
{
    channel.participants.erase(uri);
}

}  // namespace talkwire
