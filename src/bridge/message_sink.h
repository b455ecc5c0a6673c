// What the message window delivers SDK messages to.  The Python Connector is
// one; the C++ tests provide their own, so the bridge is tested without an
// interpreter.
#ifndef TALKWIRE_BRIDGE_MESSAGE_SINK_H
#define TALKWIRE_BRIDGE_MESSAGE_SINK_H

#include "twplatform/win32.h"
#include "voicesdk/voicesdk.h"

namespace talkwire {

class MessageSink {
public:
    // Owner thread.  Takes ownership of the message: it must be released.
    virtual void on_sdk_message(sdk_message_base_t *message) = 0;
    virtual HWND message_window() const = 0;

protected:
    ~MessageSink() = default;
};

}  // namespace talkwire

#endif
