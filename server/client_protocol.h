// One client's side of the conversation, without the socket: bytes in,
// frames checked and carried out (the handshake and heartbeat here,
// requests through the service's rules), the server's own replies out.
// The event loop runs one per connection; the frame fuzzer runs it alone.
#ifndef SERVER_CLIENT_PROTOCOL_H
#define SERVER_CLIENT_PROTOCOL_H

#include "service_host.h"

#include "../voicesdk/src/wire/frame.h"

#include <cstdint>
#include <string>

namespace voiceserver {

class ClientProtocol {
public:
    ClientProtocol(uint64_t id, ServiceHost &host, uint32_t heartbeat_ms)
        : id_(id), host_(host), heartbeat_ms_(heartbeat_ms)
    {
    }

    enum Verdict {
        keep,         // go on
        close_now,    // malformed, truncated past repair, oversized: close, say nothing
        close_after,  // refused: close once `replies` is written
    };
    // Bytes from the client; what the server answers by itself (welcome,
    // refusal, pong) is appended to `replies`.  After anything but keep,
    // nothing more may be fed.
    Verdict receive(const char *data, size_t size, std::string &replies);
    // Why the last verdict closes, for the log.
    const std::string &reason() const { return reason_; }
    uint64_t id() const { return id_; }

private:
    Verdict take(voicesdk::wire::FrameType type, const char *payload, size_t size, std::string &replies);
    Verdict greet(const char *payload, size_t size, std::string &replies);
    Verdict fail(const char *reason)
    {
        reason_ = reason;
        return close_now;
    }

    const uint64_t id_;
    ServiceHost &host_;
    const uint32_t heartbeat_ms_;
    voicesdk::wire::Splitter in_;
    bool greeted_ = false;
    std::string reason_;
};

}  // namespace voiceserver

#endif
