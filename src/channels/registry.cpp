#include "channels/registry.h"

#include "bridge/trace.h"

#include <cstring>
#include <utility>

namespace talkwire {

Channel *ChannelRegistry::find_channel(const std::string &name) const
{
    // A record's name never changes, and within one generation the record
    // is still registered.
    if (found_generation_ == records_generation_ && found_ && found_->name == name)
        return found_;
    auto it = channels_.find(name);
    if (it == channels_.end())
        return nullptr;
    found_ = it->second.get();
    found_generation_ = records_generation_;
    return found_;
}

Channel *ChannelRegistry::find_channel_by_session(const std::string &session_handle) const
{
    auto it = session_handle.empty() ? by_session_.end() : by_session_.find(session_handle);
    if (it == by_session_.end()) {
        trace("%s not found", session_handle.c_str());
        return nullptr;
    }
    return *it->second.begin();
}

Channel *ChannelRegistry::find_channel_by_session(const char *session_handle) const
{
    // strncmp stops at the SDK text's end, so a shorter text is never read
    // past; the memo holds no NUL, so equal means the same text.
    if (memo_generation_ == session_generation_ &&
        std::strncmp(memo_handle_.c_str(), session_handle, memo_handle_.size() + 1) == 0)
        return memo_channel_;
    const std::string handle(session_handle);
    Channel *found = find_channel_by_session(handle);
    if (found) {
        memo_handle_ = handle;
        memo_channel_ = found;
        memo_generation_ = session_generation_;
    }
    return found;
}

Channel *ChannelRegistry::add_channel(const std::string &name)
{
    auto it = channels_.find(name);
    if (it == channels_.end()) {
        it = channels_.emplace(name, std::unique_ptr<Channel>(new Channel(name))).first;
        ++records_generation_;
        index(*it->second);
    }
    return it->second.get();
}

void ChannelRegistry::remove_channel(const std::string &name)
{
    take_channel(name);  // the record dies here
}

std::unique_ptr<Channel> ChannelRegistry::take_channel(const std::string &name)
{
    auto it = channels_.find(name);
    if (it == channels_.end())
        return nullptr;
    std::unique_ptr<Channel> record = std::move(it->second);
    channels_.erase(it);
    ++records_generation_;
    unindex(*record);
    return record;
}

void ChannelRegistry::clear()
{
    // Moved out first: destroying records must not meet a half-cleared map.
    ChannelMap doomed;
    doomed.swap(channels_);
    ++records_generation_;
    ++session_generation_;
    by_session_.clear();
    for (NameOrdered &records : by_state_)
        records.clear();
    for (auto &entry : doomed)
        entry.second->registered_ = false;
    desired_.clear();
}

void ChannelRegistry::set_state(Channel &channel, ChannelState state)
{
    if (channel.state_ == state)
        return;
    if (channel.registered_) {
        records_in(channel.state_).erase(&channel);
        records_in(state).insert(&channel);
    }
    channel.state_ = state;
}

void ChannelRegistry::set_session_handle(Channel &channel, const std::string &session_handle)
{
    if (channel.session_handle_ == session_handle)
        return;
    if (!channel.registered_) {
        channel.session_handle_ = session_handle;
        return;
    }
    unindex(channel);
    channel.session_handle_ = session_handle;
    index(channel);
}

int ChannelRegistry::count_active_channels() const
{
    return count_in_state(ChannelState::Created) + count_in_state(ChannelState::Connecting) +
           count_in_state(ChannelState::Connected) + count_in_state(ChannelState::Leaving);
}

int ChannelRegistry::count_in_state(ChannelState state) const
{
    return static_cast<int>(records_in(state).size());
}

std::vector<std::string> ChannelRegistry::names_in_state(ChannelState state) const
{
    const NameOrdered &records = records_in(state);
    std::vector<std::string> names;
    names.reserve(records.size());
    for (const Channel *channel : records)
        names.push_back(channel->name);
    return names;
}

Participant &ChannelRegistry::add_participant(Channel &channel, std::string_view uri)
{
    Participant participant;
    participant.uri.assign(uri.data(), uri.size());
    std::string key = participant.uri;
    auto it = channel.participants.emplace(std::move(key), std::move(participant)).first;
    try {
        channel.participant_index_.emplace(std::string_view(it->first), &it->second);
    } catch (...) {
        channel.participants.erase(it);  // neither, rather than one of the two
        throw;
    }
    return it->second;
}

bool ChannelRegistry::store_participant(Channel &channel, const Participant &participant)
{
    auto found = channel.participant_index_.find(participant.uri);
    if (found != channel.participant_index_.end()) {
        *found->second = participant;
        return true;
    }
    add_participant(channel, participant.uri) = participant;
    return false;
}

bool ChannelRegistry::store_participant(Channel &channel, std::string_view uri, bool flag_a, double level,
                                        bool flag_b)
{
    auto found = channel.participant_index_.find(uri);
    const bool known = found != channel.participant_index_.end();
    Participant &stored = known ? *found->second : add_participant(channel, uri);
    stored.flag_a = flag_a;
    stored.level = level;
    stored.flag_b = flag_b;
    return known;
}

void ChannelRegistry::remove_participant(Channel &channel, const std::string &uri)
{
    auto it = channel.participants.find(uri);
    if (it == channel.participants.end())
        return;
    channel.participant_index_.erase(std::string_view(it->first));
    channel.participants.erase(it);
}

ChannelRegistry::NameOrdered &ChannelRegistry::records_in(ChannelState state)
{
    return by_state_[static_cast<int32_t>(state) - 1];
}

const ChannelRegistry::NameOrdered &ChannelRegistry::records_in(ChannelState state) const
{
    return by_state_[static_cast<int32_t>(state) - 1];
}

void ChannelRegistry::index(Channel &channel)
{
    ++session_generation_;
    channel.registered_ = true;
    records_in(channel.state_).insert(&channel);
    if (!channel.session_handle_.empty())
        by_session_[channel.session_handle_].insert(&channel);
}

void ChannelRegistry::unindex(Channel &channel)
{
    ++session_generation_;
    channel.registered_ = false;
    records_in(channel.state_).erase(&channel);
    if (channel.session_handle_.empty())
        return;
    auto it = by_session_.find(channel.session_handle_);
    if (it == by_session_.end())
        return;
    it->second.erase(&channel);
    if (it->second.empty())
        by_session_.erase(it);
}

std::string ChannelRegistry::check_consistency() const
{
    size_t indexed_by_state = 0;
    for (int i = 0; i < kStateCount; ++i) {
        for (const Channel *channel : by_state_[i]) {
            if (find_channel(channel->name) != channel)
                return "state index holds an unregistered record: " + channel->name;
            if (static_cast<int32_t>(channel->state_) != i + 1)
                return "state index disagrees with the record: " + channel->name;
        }
        indexed_by_state += by_state_[i].size();
    }
    if (indexed_by_state != channels_.size())
        return "state index misses records";

    size_t indexed_by_session = 0;
    for (const auto &entry : by_session_) {
        if (entry.second.empty())
            return "empty session index entry: " + entry.first;
        for (const Channel *channel : entry.second) {
            if (find_channel(channel->name) != channel)
                return "session index holds an unregistered record: " + channel->name;
            if (channel->session_handle_ != entry.first)
                return "session index disagrees with the record: " + channel->name;
        }
        indexed_by_session += entry.second.size();
    }

    size_t with_session = 0;
    for (const auto &entry : channels_) {
        const Channel &channel = *entry.second;
        if (entry.first != channel.name)
            return "record filed under another name: " + entry.first;
        if (!channel.registered_)
            return "registered record marked as taken: " + entry.first;
        with_session += !channel.session_handle_.empty();
        if (channel.rejoin_uri && (channel.state_ != ChannelState::Leaving || !is_desired(channel.name)))
            return "rejoin waits on a record that is not leaving or not wanted: " + entry.first;
        for (const auto &participant : channel.participants) {
            if (participant.first != participant.second.uri)
                return "participant filed under another URI in " + entry.first;
            auto indexed = channel.participant_index_.find(participant.first);
            if (indexed == channel.participant_index_.end() || indexed->second != &participant.second ||
                indexed->first.data() != participant.first.data())
                return "participant index disagrees with the record in " + entry.first;
        }
        if (channel.participant_index_.size() != channel.participants.size())
            return "participant index holds participants that are gone in " + entry.first;
    }
    if (indexed_by_session != with_session)
        return "session index misses records";
    return std::string();
}

}  // namespace talkwire
