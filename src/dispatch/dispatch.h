// Turning SDK responses and events into state changes and listener calls.
// Owner thread, interpreter lock held, inside message dispatch.
#ifndef TALKWIRE_DISPATCH_DISPATCH_H
#define TALKWIRE_DISPATCH_DISPATCH_H

#include "voicesdk/voicesdk.h"

namespace talkwire {

class Connector;

namespace dispatch {

// Each takes ownership of its message and releases it after handling.
void handle_response(Connector &connector, sdk_resp_base_t *response);
void handle_event(Connector &connector, sdk_evt_base_t *event);

}  // namespace dispatch
}  // namespace talkwire

#endif
