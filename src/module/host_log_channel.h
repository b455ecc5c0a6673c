// Attachment to the shared-memory log channel a host process may offer.
#ifndef TALKWIRE_MODULE_HOST_LOG_CHANNEL_H
#define TALKWIRE_MODULE_HOST_LOG_CHANNEL_H

#include "twplatform/win32.h"

namespace talkwire {

// 0 attached; -1 no mapping; -2 wrong version; -3 a synchronisation object
// is missing.  Importing thread, once per process.
int attach_host_log_channel(HINSTANCE module_instance);

}  // namespace talkwire

#endif
