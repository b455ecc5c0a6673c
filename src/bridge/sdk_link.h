// A message sink's link to the SDK: its hidden message window, its mailbox,
// the SDK's notification handler registered with that mailbox, and the
// window's entry in window_registry.  Made and torn down on the owner
// thread, in the one order that lets no handler call outlive it.  None of
// it reports failure: a sink without a window gets no notifications.
#ifndef TALKWIRE_BRIDGE_SDK_LINK_H
#define TALKWIRE_BRIDGE_SDK_LINK_H

#include "bridge/mailbox.h"
#include "bridge/message_sink.h"

namespace talkwire {

class SdkLink {
public:
    explicit SdkLink(MessageSink *sink);
    ~SdkLink();
    SdkLink(const SdkLink &) = delete;
    SdkLink &operator=(const SdkLink &) = delete;

    HWND window() const { return window_; }
    Mailbox &mailbox() { return mailbox_; }

private:
    HWND window_;
    const DWORD process_;  // the process that registered the handler
    Mailbox mailbox_;
};

}  // namespace talkwire

#endif
