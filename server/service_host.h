// The service's rules behind the wire: requests decoded from a client's
// frames become requests of that client's origin, and what the rules say
// back becomes frames for the client they address.  A connection has at
// most one connector; every connector handle a client sends is read as its
// own, so a client keeps its handle across a reconnection.
#ifndef SERVER_SERVICE_HOST_H
#define SERVER_SERVICE_HOST_H

#include "outbox.h"

#include "../voicesdk/src/service/service.h"

#include <cstdint>
#include <string>

namespace voiceserver {

class ServiceHost {
public:
    ServiceHost(const voicesdk::service::Settings &settings, Outbox &outbox);
    ~ServiceHost();

    // A request frame's payload from connection `from`.  False when the
    // payload is malformed: the connection is then closed.
    bool request(uint64_t from, const char *payload, size_t size);
    // The connection is gone.
    void disconnect(uint64_t from);
    // The connection's connector, or "".
    std::string connector_of(uint64_t from) { return service_.connector_of(from); }
    void stop();

private:
    void deliver(uint64_t to, voicesdk::service::MessagePtr message);
    void refuse(uint64_t to, uint32_t id, int kind, int status, const char *text);

    Outbox &outbox_;
    voicesdk::service::Service service_;
};

}  // namespace voiceserver

#endif
