// What answers accepted requests.  The scripted rules are always asked
// first; the mode's responder (none in "scripted" mode, the simulated voice
// service in "service" mode) gets what they leave.
#ifndef VOICESDK_SRC_RESPONDER_H
#define VOICESDK_SRC_RESPONDER_H

#include "voicesdk/voicesdk.h"

#include <cstdint>
#include <memory>

namespace voicesdk {

struct IssuedRequest {
    // Readable for the call; retain_request() keeps it longer.
    sdk_req_base_t *request;
    int kind;   // enum sdk_request_kind
    bool sync;  // the caller set a user pointer and may be blocked on it
    uint64_t origin = 0;  // who asked: 0 for this process, a client in the server
};

class Responder {
public:
    virtual ~Responder() = default;
    // Called on the issuing thread, outside every SDK lock, for each accepted
    // request.  True when it answered (or will answer) the request.
    virtual bool on_request(const IssuedRequest &request) = 0;
};

using ResponderFactory = std::shared_ptr<Responder> (*)();

// Makes a mode besides "scripted" available to sdk_ctl_set_mode; a service
// build calls it from a static initialiser.
void register_mode(const char *name, ResponderFactory factory);

// Queues a message for the notification thread (the SDK owns it from here).
void post_message(sdk_message_base_t *message);

}  // namespace voicesdk

#endif
