// The simulated voice service: answers every request the way a live service
// would and emits the events that follow.  The same rules serve the
// stand-in's in-process mode (every message to the SDK's own queue) and the
// local voice server (each message to the client it concerns).
//
// Every request comes from an origin: 0 for the stand-in's own process, one
// per client connection in the server.  A connector belongs to the origin
// that created it, and so do its logins, session groups and sessions; a
// request naming a handle of another origin is answered as if the handle did
// not exist.  Requests arrive on whatever thread issues them; timed work runs
// on the scheduler's thread; one mutex guards the service's state.
#ifndef VOICESDK_SRC_SERVICE_SERVICE_H
#define VOICESDK_SRC_SERVICE_SERVICE_H

#include "../responder.h"
#include "scheduler.h"
#include "settings.h"

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace voicesdk {
namespace service {

// The messages one request leads to, each with its addressee and its delay
// after the answer.
class Batch {
public:
    explicit Batch(uint64_t origin) : origin_(origin) {}

    struct Entry {
        double delay;
        uint64_t tag;
        uint64_t to;
        MessagePtr message;
    };
    std::vector<Entry> entries;

    // To the origin of the request.
    void add(MessagePtr message, double delay = 0.0, uint64_t tag = 0) { add_to(origin_, std::move(message), delay, tag); }
    void add_to(uint64_t to, MessagePtr message, double delay = 0.0, uint64_t tag = 0)
    {
        if (message)
            entries.push_back(Entry{delay, tag, to, std::move(message)});
    }

private:
    uint64_t origin_;
};

// Requests about the client's own machine (devices, levels, the microphone
// test, connectivity, key bindings, local volumes): a client of the local
// voice server answers them itself, with these same rules.
bool machine_request(int kind);

// Where a channel lives, as the channel-creation answer gives it.
std::string channel_uri(const std::string &channel_name, const std::string &domain);

class Service : public Responder {
public:
    explicit Service(Deliver deliver);
    ~Service() override;

    bool on_request(const IssuedRequest &request) override;

    // An origin is gone (a client's connection closed): its connectors are
    // shut down, their participants leave the others' channels, and nothing
    // more goes to it.
    void disconnect(uint64_t origin);
    // The handle of the origin's first connector, or "".
    std::string connector_of(uint64_t origin);

    Settings settings();
    void configure(const Settings &settings);
    Snapshot snapshot();
    bool wait_idle(double timeout_seconds);
    // Stops timed work for good (process exit).
    void stop();

private:
    struct Connector {
        std::string voice_domain;
        uint64_t origin;
        bool mic_open;
    };
    struct Login {
        std::string name;
        std::string connector;
        std::string uri;  // as a participant
        uint64_t origin;
        // The session the microphone speaks into; before one is chosen, all.
        bool tx_chosen;
        std::string tx_session;  // "" once chosen: none
    };
    struct Session {
        std::string account;
        std::string group;  // "" for a session made without one
        std::string channel_name;
        std::string channel;  // the channel's URI: whom it meets
        uint64_t origin;
        uint64_t tag;  // its peers' scheduled steps
        bool talking;
    };
    struct Channel {
        std::vector<std::string> sessions;  // in joining order
        std::set<std::string> muted;        // participant URIs muted by a moderator
    };
    using SessionMap = std::map<std::string, Session>;

    // All of these run with mutex_ held.
    void answer(const IssuedRequest &request, Batch &batch);
    void connector_create(const IssuedRequest &request, Batch &batch);
    void connector_shutdown(const IssuedRequest &request, Batch &batch);
    void mute_microphone(const IssuedRequest &request, Batch &batch);
    void login(const IssuedRequest &request, Batch &batch);
    void logout(const IssuedRequest &request, Batch &batch);
    void create_account(const IssuedRequest &request, Batch &batch);
    void channel_create(const IssuedRequest &request, Batch &batch);
    void group_create(const IssuedRequest &request, Batch &batch);
    void add_session(const IssuedRequest &request, const std::string &account, const std::string &group,
                     Batch &batch);
    void remove_session(const IssuedRequest &request, Batch &batch);
    void speak_into(const IssuedRequest &request, Batch &batch);
    void speak_into_none(const IssuedRequest &request, Batch &batch);
    void moderator_mute(const IssuedRequest &request, Batch &batch);
    void connectivity(const IssuedRequest &request, Batch &batch);
    void devices(const IssuedRequest &request, const std::vector<std::string> &names, const std::string &current,
                 Batch &batch);
    void select_device(const IssuedRequest &request, const std::vector<std::string> &names, std::string &current,
                       Batch &batch);
    void mic_test_start(const IssuedRequest &request, Batch &batch);
    void mic_test_stop();
    void mic_tick(uint64_t generation, uint64_t to);
    void key_binding(const IssuedRequest &request, Batch &batch);
    // Answers requests about a session with success when the origin has it.
    void session_request(const IssuedRequest &request, const char *session_handle, Batch &batch);

    // The origin's own records, or null.
    Connector *own_connector(const std::string &handle, uint64_t origin);
    Login *own_login(const std::string &handle, uint64_t origin);
    const std::string *own_group(const std::string &handle, uint64_t origin);
    Session *own_session(const std::string &handle, uint64_t origin);

    // Channel membership (members.cpp).
    void meet(const std::string &session_handle, Session &session, Batch &batch);
    void part(const std::string &session_handle, const Session &session, Batch &batch);
    bool speaks(const std::string &session_handle, const Session &session) const;
    void update_talking(const std::string &account_handle, Batch &batch);
    void report_state(const Channel &channel, const std::string &uri, bool talking, const std::string &to,
                      Batch &batch);

    void peer_script(const std::string &session_handle, const Session &session, Batch &batch);
    std::string peer_uri(const std::string &peer, const std::string &domain) const;
    std::string domain_of(const std::string &account_handle) const;
    void end_session(SessionMap::iterator session, Batch &batch);
    void end_login(const std::string &account_handle, Batch &batch);
    void end_connector(const std::string &connector_handle, Batch &batch);
    std::string new_handle(const char *prefix);
    void schedule(Batch &batch);

    const Deliver deliver_;
    std::mutex mutex_;  // everything below
    Settings settings_;
    std::map<std::string, Connector> connectors_;
    std::map<std::string, std::string> created_accounts_;  // name -> password
    std::map<std::string, Login> logins_;                   // account handle ->
    std::map<std::string, std::string> groups_;             // group handle -> account handle
    SessionMap sessions_;                                   // session handle ->
    std::map<std::string, Channel> channels_;               // channel URI -> its members
    std::string capture_device_ = settings_.capture_devices.front();
    std::string render_device_ = settings_.render_devices.front();
    int mic_level_ = 50;
    int speaker_level_ = 50;
    bool mic_test_ = false;
    uint64_t mic_generation_ = 0;
    size_t mic_step_ = 0;
    std::string key_binding_;
    std::vector<int> key_codes_;
    unsigned next_handle_ = 1;
    uint64_t next_tag_ = 2;  // 0: never cancelled, 1: the microphone test

    Scheduler scheduler_;  // last: stopped first
};

}  // namespace service
}  // namespace voicesdk

#endif
