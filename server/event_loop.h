// The server's one thread of network work: a poll() loop over the listening
// socket, a wake-up pipe (signals and deliveries from the scheduler's
// thread) and every client connection.  Reading, frame checking, the rules
// and writing all happen here, so a connection's state needs no lock.
#ifndef SERVER_EVENT_LOOP_H
#define SERVER_EVENT_LOOP_H

#include "client_protocol.h"
#include "options.h"
#include "outbox.h"
#include "service_host.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace voiceserver {

using Clock = std::chrono::steady_clock;

struct Connection {
    Connection(uint64_t id, int fd, ServiceHost &host, uint32_t heartbeat_ms)
        : id(id), fd(fd), protocol(id, host, heartbeat_ms)
    {
    }
    uint64_t id;
    int fd;
    std::string peer;           // address:port, for the log
    ClientProtocol protocol;
    std::string out;            // frames not yet written
    size_t out_sent = 0;
    bool closing = false;       // refused: closed once `out` is written
    Clock::time_point last_heard;
};

class EventLoop {
public:
    // Listens at once; false (and a message in `error`) when it cannot.
    bool listen(const Options &options, std::string &error);
    int port() const { return port_; }
    // Until a stop signal arrives.
    void run();
    // Async-signal-safe: asks run() to return.
    static void request_stop();

    EventLoop();
    ~EventLoop();

private:
    void accept_all();
    void read_from(Connection &connection);
    void send(Connection &connection, std::string frame);
    bool flush(Connection &connection);
    void close(uint64_t id, const char *reason);
    void drain_outbox();
    void check_heartbeats();
    void log(const std::string &line);

    Options options_;
    int listener_ = -1;
    int port_ = 0;
    int wake_read_ = -1;
    int wake_write_ = -1;
    uint64_t next_id_ = 1;
    std::map<uint64_t, std::unique_ptr<Connection>> connections_;
    std::unique_ptr<Outbox> outbox_;
    std::unique_ptr<ServiceHost> host_;
    bool stopping_ = false;
};

}  // namespace voiceserver

#endif
