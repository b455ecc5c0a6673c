// Each connector's picture of its voice channels: the names the user wants
// to be in, and one record per channel with its state, session and
// participants.  Names order byte-wise.  Owner thread only.
#ifndef TALKWIRE_CHANNELS_REGISTRY_H
#define TALKWIRE_CHANNELS_REGISTRY_H

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace talkwire {

enum class ChannelState : int32_t {
    Created = 1,     // URI known, waiting to be placed into the session group
    Connecting = 2,  // add-session issued
    Connected = 3,   // session reported connected
    Leaving = 4,     // remove-session issued
    Idle = 5,        // no session; the channel-create answer may be pending
};

struct Participant {
    std::string uri;
    bool flag_a = false;
    double level = 0.0;
    bool flag_b = false;
};

struct Channel {
    explicit Channel(std::string channel_name) : name(std::move(channel_name)) {}

    std::string session_handle;
    std::string name;
    std::string uri;
    std::map<std::string, Participant> participants;
    ChannelState state = ChannelState::Idle;
    int32_t volume_base = 50;
};

class ChannelRegistry {
public:
    using ChannelMap = std::map<std::string, std::unique_ptr<Channel>>;

    // Desired names.
    bool is_desired(const std::string &name) const { return desired_.count(name) != 0; }
    void desire(const std::string &name) { desired_.insert(name); }
    void undesire(const std::string &name) { desired_.erase(name); }
    const std::set<std::string> &desired() const { return desired_; }

    // Records.
    Channel *find_channel(const std::string &name) const;
    // The first record in name order carrying the handle; null when none.
    Channel *find_channel_by_session(const std::string &session_handle) const;
    // Insert-if-absent; returns the record under the name.
    Channel *add_channel(const std::string &name);
    void remove_channel(const std::string &name);
    // Takes the record out of the map without destroying it.
    std::unique_ptr<Channel> take_channel(const std::string &name);
    // Destroys every record and forgets every desired name.
    void clear();

    int count_active_channels() const;
    int count_in_state(ChannelState state) const;
    // Names of the records in a state, in name order: walks collect first
    // and look each name up again, so callbacks may change the registry.
    std::vector<std::string> names_in_state(ChannelState state) const;

    const ChannelMap &channels() const { return channels_; }

    // True when the URI was present before (every field is overwritten).
    static bool store_participant(Channel &channel, const Participant &participant);
    static void remove_participant(Channel &channel, const std::string &uri);

private:
    std::set<std::string> desired_;
    ChannelMap channels_;
};

}  // namespace talkwire

#endif
