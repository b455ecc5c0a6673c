// A message sink's link to the SDK: its hidden message window, its mailbox,
// the SDK's notification handler registered with that mailbox, and the
// window's entry in window_registry.  Made on the owner thread; unlinked
// once, on whatever thread lets go of the sink, in the one order that lets
// no handler call outlive it.  None of it reports failure: a sink without a
// window gets no notifications.
#ifndef TALKWIRE_BRIDGE_SDK_LINK_H
#define TALKWIRE_BRIDGE_SDK_LINK_H

#include "bridge/mailbox.h"
#include "bridge/message_sink.h"

namespace talkwire {

class SdkLink {
public:
    explicit SdkLink(MessageSink *sink);
    ~SdkLink() { unlink(); }
    SdkLink(const SdkLink &) = delete;
    SdkLink &operator=(const SdkLink &) = delete;

    HWND window() const { return window_; }
    Mailbox &mailbox() { return mailbox_; }

    // Any thread, no drain of the mailbox running; the second call does
    // nothing.  After it no handler call is running or will post again,
    // every message not yet handled is released, and the window is gone
    // (or, from another thread, handed to its own thread to destroy).
    void unlink();
    bool linked() const { return linked_; }

private:
    HWND window_;
    const DWORD process_;  // the process that registered the handler
    Mailbox mailbox_;
    bool linked_ = true;
};

}  // namespace talkwire

#endif
