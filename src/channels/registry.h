// Each connector's picture of its voice channels: the names the user wants
// to be in, and one record per channel with its state, session and
// participants.  Names order byte-wise.  Owner thread only.
//
// Per-message cost does not grow with the number of channels: records are
// indexed by session handle and by state, and the registry keeps those
// indexes in step, which is why a record's state and session handle change
// only through it.
#ifndef TALKWIRE_CHANNELS_REGISTRY_H
#define TALKWIRE_CHANNELS_REGISTRY_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
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

class Channel {
public:
    explicit Channel(std::string channel_name) : name(std::move(channel_name)) {}
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    // Empty until the add-session answer supplies it.
    const std::string &session_handle() const { return session_handle_; }
    ChannelState state() const { return state_; }

    const std::string name;  // the record's key; never changes
    std::string uri;
    // Joined again while still leaving, and the channel-create answer for
    // that join is in: its URI, kept until the old session is gone and the
    // join goes ahead under a fresh record.  Set only while the record is
    // Leaving and its name desired.
    std::optional<std::string> rejoin_uri;
    // In URI order, for listing.  Changed only through the registry, which
    // keeps the index below in step.
    std::map<std::string, Participant, std::less<>> participants;
    const int32_t volume_base = 50;

private:
    friend class ChannelRegistry;
    // The same records by URI, hashed, for the participant events: found in
    // constant time however many the channel has.  The keys view the map's
    // own keys, which stay put while their records exist.
    std::unordered_map<std::string_view, Participant *> participant_index_;
    std::string session_handle_;
    ChannelState state_ = ChannelState::Idle;
    bool registered_ = false;  // false once taken out of the registry
};

class ChannelRegistry {
public:
    using ChannelMap = std::map<std::string, std::unique_ptr<Channel>>;

    ChannelRegistry() = default;
    ChannelRegistry(const ChannelRegistry &) = delete;
    ChannelRegistry &operator=(const ChannelRegistry &) = delete;

    // Desired names.
    bool is_desired(const std::string &name) const { return desired_.count(name) != 0; }
    void desire(const std::string &name) { desired_.insert(name); }
    void undesire(const std::string &name) { desired_.erase(name); }
    const std::set<std::string> &desired() const { return desired_; }
    // Joined again after leaving, while its old session is still going: the
    // join goes ahead once that session is gone.
    bool rejoin_waits(const Channel &channel) const
    {
        return channel.state() == ChannelState::Leaving && is_desired(channel.name);
    }

    // Records.  Every per-channel control looks its channel up by name, so
    // the last record found is kept until a record is added or removed.
    Channel *find_channel(const std::string &name) const;
    // The first record in name order carrying the handle; null when none.
    // An empty handle names no session, so records still waiting for their
    // add-session answer are never found by it.
    Channel *find_channel_by_session(const std::string &session_handle) const;
    // The same for the SDK's text.  Every participant event looks its
    // session up, so the last answer is kept until the index changes.
    Channel *find_channel_by_session(const char *session_handle) const;
    // Insert-if-absent; returns the record under the name.
    Channel *add_channel(const std::string &name);
    void remove_channel(const std::string &name);
    // Takes the record out of the map without destroying it.
    std::unique_ptr<Channel> take_channel(const std::string &name);
    // Destroys every record and forgets every desired name.
    void clear();

    // Changes that the indexes follow.  A record taken out of the registry
    // only has its field set.
    void set_state(Channel &channel, ChannelState state);
    void set_session_handle(Channel &channel, const std::string &session_handle);

    // Records in Created, Connecting, Connected or Leaving.
    int count_active_channels() const;
    int count_in_state(ChannelState state) const;
    // Names of the records in a state, in name order: walks collect first
    // and look each name up again, so callbacks may change the registry.
    std::vector<std::string> names_in_state(ChannelState state) const;

    const ChannelMap &channels() const { return channels_; }

    // True when the URI was present before (every field is overwritten).
    static bool store_participant(Channel &channel, const Participant &participant);
    // The same from the fields: a participant already known is updated in
    // place, with no record made and no text copied.
    static bool store_participant(Channel &channel, std::string_view uri, bool flag_a, double level, bool flag_b);
    static void remove_participant(Channel &channel, const std::string &uri);

    // Compares every index with the records; empty when they agree, else
    // what is wrong.  For tests.
    std::string check_consistency() const;

private:
    // A new record under `uri`, in the map and the index.
    static Participant &add_participant(Channel &channel, std::string_view uri);

    struct ByName {
        bool operator()(const Channel *a, const Channel *b) const { return a->name < b->name; }
    };
    using NameOrdered = std::set<Channel *, ByName>;

    static constexpr int kStateCount = 5;
    NameOrdered &records_in(ChannelState state);
    const NameOrdered &records_in(ChannelState state) const;
    void index(Channel &channel);
    void unindex(Channel &channel);

    std::set<std::string> desired_;
    ChannelMap channels_;
    // Bumped whenever channels_ gains or loses a record; the name lookup
    // memo is valid only for the generation it was made in.
    uint64_t records_generation_ = 1;
    mutable uint64_t found_generation_ = 0;
    mutable Channel *found_ = nullptr;
    std::unordered_map<std::string, NameOrdered> by_session_;
    // Bumped by every change of by_session_; the lookup memo is valid only
    // for the generation it was made in.
    uint64_t session_generation_ = 1;
    mutable uint64_t memo_generation_ = 0;
    mutable std::string memo_handle_;
    mutable Channel *memo_channel_ = nullptr;
    NameOrdered by_state_[kStateCount];
};

}  // namespace talkwire

#endif
