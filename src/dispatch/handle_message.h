// The drain's one entry into dispatch: an SDK message becomes state changes
// and listener calls.  Owner thread, interpreter lock held, inside message
// dispatch.
#ifndef TALKWIRE_DISPATCH_HANDLE_MESSAGE_H
#define TALKWIRE_DISPATCH_HANDLE_MESSAGE_H

#include "bridge/sdk_message.h"

namespace talkwire {

class Connector;

namespace dispatch {

// Takes the message and releases it once handled.  An error raised on the
// way has no Python caller: it goes to the unraisable hook.
void handle_message(Connector &connector, SdkMessage &&message);

}  // namespace dispatch
}  // namespace talkwire

#endif
