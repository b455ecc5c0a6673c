// Process-wide map from message window to the sink that owns it.  Touched by
// construction, destruction and the window procedure (owner threads); a
// mutex keeps connectors on different threads from racing.
#ifndef TALKWIRE_BRIDGE_WINDOW_REGISTRY_H
#define TALKWIRE_BRIDGE_WINDOW_REGISTRY_H

#include "bridge/message_sink.h"

namespace talkwire {
namespace window_registry {

// Insert-if-absent: an existing entry under the key stays unchanged.
void insert(HWND window, MessageSink *sink);
void erase(HWND window);
MessageSink *find(HWND window);
size_t size();

}  // namespace window_registry
}  // namespace talkwire

#endif
