// One connector's connection to the local voice server.  Requests go out
// on the issuing thread; a reader thread of the link turns the server's
// answers and events back into SDK records on the SDK's one queue.  The
// link keeps what it learns of its connector's logins and sessions, so
// that when the server goes away it can report them lost, as a live
// service would; the next request after that connects again (and makes
// the connector anew on the server) or fails as unreachable.
#ifndef VOICESDK_SRC_NET_LINK_H
#define VOICESDK_SRC_NET_LINK_H

#include "socket.h"

#include "../responder.h"
#include "../wire/frame.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace voicesdk {
namespace net {

class Link {
public:
    // Connects and greets the server; null, with the reason in `error`,
    // when none answers at `address` or it refuses this client.
    static std::unique_ptr<Link> open(const std::string &address, std::string &error);
    ~Link();
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    // Issuing thread.  The first request is the connector-create request;
    // the link keeps it to make the connector again after a reconnection.
    void send(const IssuedRequest &request);
    // The connector, or one of its logins, session groups or sessions.
    bool owns(const std::string &handle);
    // Its connector was shut down: the link has nothing more to do.
    bool finished();

private:
    using Clock = std::chrono::steady_clock;
    enum class State { up, down, finished };

    explicit Link(const std::string &address) : address_(address) {}
    // Socket and greeting; mutex_ held (or not yet shared).
    bool connect(std::string &error);
    void start_reader();
    // Reader thread.
    void read_loop(std::string leftover);
    bool take_frame(wire::FrameType type, const char *payload, size_t size);
    bool take_response(const char *payload, size_t size);
    void learn(const sdk_resp_base_t *response);
    void learn(const sdk_evt_base_t *event);
    void lose(const std::string &reason);
    bool ping();

    const std::string address_;
    Socket socket_;
    std::thread reader_;

    std::mutex mutex_;  // everything below, and every write to socket_
    State state_ = State::down;
    double heartbeat_ = 3.0;            // the server's, from its welcome
    Clock::time_point last_sent_;
    std::string leftover_;              // bytes that came with the welcome
    uint32_t next_id_ = 1;              // 0 answers the link's own requests
    std::map<uint32_t, sdk_req_base_t *> pending_;  // each holds a reference
    sdk_req_base_t *creation_ = nullptr;  // the connector-create request, held
    std::string connector_;
    std::set<std::string> accounts_, groups_, sessions_;
};

}  // namespace net
}  // namespace voicesdk

#endif
