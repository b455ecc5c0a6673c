// Many lightweight clients of the local voice server in one thread: raw
// protocol connections driven by one epoll loop (a poll() over a thousand
// descriptors per arriving event would measure the client's own scans),
// for the soak test and the fan-out benchmark, where a Python process per
// client would measure Python instead of the server.  Also starts and
// watches the server program itself.  Linux only.
#ifndef SERVER_FLEET_FLEET_H
#define SERVER_FLEET_FLEET_H

#include "voicesdk/voicesdk.h"
#include "../../voicesdk/src/wire/frame.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace voiceserver {
namespace fleet {

using Clock = std::chrono::steady_clock;
using Texts = std::vector<std::pair<const char *, std::string>>;
using Ints = std::vector<std::pair<const char *, int>>;

// A request frame of `kind` with the named fields set.
std::string request_frame(uint32_t id, int kind, const Texts &texts, const Ints &ints = {});

// The server program as a child process on a free port of 127.0.0.1.
class ServerProcess {
public:
    // Starts it with the options given; throws std::runtime_error when it
    // does not say where it listens.
    ServerProcess(const std::string &program, const std::vector<std::string> &options);
    ~ServerProcess();
    int port() const { return port_; }
    int pid() const { return pid_; }
    // SIGINT and the exit status (-1 when it had to be killed).
    int stop(double timeout = 10.0);
    long rss_kib() const;           // resident memory now
    double cpu_seconds() const;     // user + system time so far

private:
    int pid_ = -1;
    int port_ = 0;
    int output_ = -1;
};

class Fleet {
public:
    explicit Fleet(int port);
    ~Fleet();

    // Connects and greets; returns the client's index.  Throws
    // std::runtime_error when the server does not welcome it.
    int add();
    // Queues a request; returns its id (answers come to on_response).
    uint32_t send(int client, int kind, const Texts &texts, const Ints &ints = {});
    void ping(int client);
    // Closes the connection abruptly (as a killed process would).
    void drop(int client);
    bool connected(int client) const { return clients_[static_cast<size_t>(client)].fd >= 0; }
    size_t size() const { return clients_.size(); }

    // Runs the loop until done() holds (true) or `timeout` seconds pass
    // (false).  done() is checked after every batch of frames.
    bool run_until(const std::function<bool()> &done, double timeout);

    // Called from run_until, with the moment the frame's bytes arrived.
    std::function<void(int client, uint32_t id, const sdk_resp_base_t &response, Clock::time_point at)> on_response;
    std::function<void(int client, const sdk_evt_base_t &event, Clock::time_point at)> on_event;

private:
    struct Client {
        int fd = -1;
        voicesdk::wire::Splitter in;
        std::string out;
        size_t sent = 0;
        uint32_t next_id = 1;
        bool waiting_to_write = false;  // registered for EPOLLOUT
    };
    void flush(int index);
    void read(int index, Clock::time_point at);

    int port_;
    int epoll_ = -1;
    std::vector<Client> clients_;
};

}  // namespace fleet
}  // namespace voiceserver

#endif
