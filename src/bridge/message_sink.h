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
    // Owner thread, on a wake-up posted to the sink's window: handle what
    // the sink's mailbox holds.  The sink may be destroyed by what it calls,
    // so it keeps itself alive until it returns.
    virtual void on_sdk_wake() = 0;
    virtual HWND message_window() const = 0;

protected:
    ~MessageSink() = default;
};

}  // namespace talkwire

#endif
