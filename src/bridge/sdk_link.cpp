#include "bridge/sdk_link.h"

#include "bridge/message_window.h"
#include "bridge/notification_handler.h"
#include "bridge/window_registry.h"
#include "twplatform/wait.h"

namespace talkwire {
namespace {

// Asynchronous signals held on this thread while in scope.
class SignalsHeld {
public:
    SignalsHeld() { twplat_hold_signals(&held_); }
    ~SignalsHeld() { twplat_restore_signals(&held_); }
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;

private:
    twplat_held_signals_t held_;
};

}  // namespace

SdkLink::SdkLink(MessageSink *sink) : window_(create_message_window()), process_(GetCurrentProcessId())
{
    mailbox_.open(window_);
    {
        // The SDK starts its notification thread on the first registration,
        // and that thread inherits this one's signal mask: Ctrl-C must reach
        // the thread that waits for it, not the SDK's.
        SignalsHeld held;
        sdk_register_message_notification_handler(notification_handler, &mailbox_);
    }
    if (window_)
        window_registry::insert(window_, sink);
}

void SdkLink::unlink()
{
    if (!linked_)
        return;
    linked_ = false;
    // In a forked child the SDK's thread stayed in the parent, with
    // whatever it held at the fork: neither the SDK nor the mailbox's lock
    // is touched.
    const bool forked = GetCurrentProcessId() != process_;
    if (!forked)
        sdk_unregister_message_notification_handler(notification_handler, &mailbox_);
    if (window_)
        window_registry::erase(window_);
    if (forked)
        mailbox_.forsake();
    else
        mailbox_.close();
    if (window_)
        dispose_message_window(window_, mailbox_.owner_thread());
}

}  // namespace talkwire
