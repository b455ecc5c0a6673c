// The handler the SDK calls on its own thread whenever messages may wait.
// Its user data is the connector's mailbox, which knows the connector's
// message window.
#ifndef TALKWIRE_BRIDGE_NOTIFICATION_HANDLER_H
#define TALKWIRE_BRIDGE_NOTIFICATION_HANDLER_H

namespace talkwire {

// SDK thread.  Touches no connector field and no Python object: only SDK
// records, the pending request of a blocked caller, and the mailbox.
void notification_handler(void *user_data);

}  // namespace talkwire

#endif
