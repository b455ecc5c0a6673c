// The simulated voice service: answers every request the way a live service
// would and emits the events that follow, through the SDK's own queue.
// Requests arrive on whatever thread issues them; timed work runs on the
// scheduler's thread; one mutex guards the service's state.
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

// The messages one request leads to, each with its delay after the answer.
struct Batch {
    struct Entry {
        double delay;
        uint64_t tag;
        MessagePtr message;
    };
    std::vector<Entry> entries;

    void add(MessagePtr message, double delay = 0.0, uint64_t tag = 0)
    {
        if (message)
            entries.push_back(Entry{delay, tag, std::move(message)});
    }
};

class Service : public Responder {
public:
    Service() = default;
    ~Service() override;

    bool on_request(const IssuedRequest &request) override;

    Settings settings();
    void configure(const Settings &settings);
    Snapshot snapshot();
    bool wait_idle(double timeout_seconds);
    // Stops timed work for good (process exit).
    void stop();

private:
    struct Connector {
        std::string voice_domain;
    };
    struct Login {
        std::string name;
        std::string connector;
    };
    struct Session {
        std::string account;
        std::string group;  // "" for a session made without one
        std::string channel_name;
        uint64_t tag;  // its peers' scheduled steps
    };

    // All of these run with mutex_ held.
    void answer(const IssuedRequest &request, Batch &batch);
    void connector_create(const IssuedRequest &request, Batch &batch);
    void connector_shutdown(const IssuedRequest &request, Batch &batch);
    void login(const IssuedRequest &request, Batch &batch);
    void logout(const IssuedRequest &request, Batch &batch);
    void create_account(const IssuedRequest &request, Batch &batch);
    void channel_create(const IssuedRequest &request, Batch &batch);
    void group_create(const IssuedRequest &request, Batch &batch);
    void add_session(const IssuedRequest &request, const std::string &account, const std::string &group,
                     const std::string &channel_name, Batch &batch);
    void remove_session(const IssuedRequest &request, Batch &batch);
    void connectivity(const IssuedRequest &request, Batch &batch);
    void devices(const IssuedRequest &request, const std::vector<std::string> &names, const std::string &current,
                 Batch &batch);
    void select_device(const IssuedRequest &request, const std::vector<std::string> &names, std::string &current,
                       Batch &batch);
    void mic_test_start(const IssuedRequest &request, Batch &batch);
    void mic_test_stop();
    void mic_tick(uint64_t generation);
    void key_binding(const IssuedRequest &request, Batch &batch);
    // Answers requests about a session with success when it exists.
    void session_request(const IssuedRequest &request, const char *session_handle, Batch &batch);

    void peer_script(const std::string &session_handle, const Session &session, Batch &batch);
    std::string peer_uri(const std::string &peer, const std::string &domain) const;
    std::string domain_of(const std::string &account_handle) const;
    void end_session(std::map<std::string, Session>::iterator session);
    void end_login(const std::string &account_handle);
    std::string new_handle(const char *prefix);
    void schedule(Batch &batch);

    std::mutex mutex_;  // everything below
    Settings settings_;
    std::map<std::string, Connector> connectors_;
    std::map<std::string, std::string> created_accounts_;  // name -> password
    std::map<std::string, Login> logins_;                   // account handle ->
    std::map<std::string, std::string> groups_;             // group handle -> account handle
    std::map<std::string, Session> sessions_;               // session handle ->
    std::string speaking_session_;
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
