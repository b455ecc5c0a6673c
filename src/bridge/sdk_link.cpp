#include "bridge/sdk_link.h"

#include "bridge/message_window.h"
#include "bridge/notification_handler.h"
#include "bridge/window_registry.h"

namespace talkwire {

SdkLink::SdkLink(MessageSink *sink) : window_(create_message_window())
{
    mailbox_.open(window_);
    sdk_register_message_notification_handler(notification_handler, &mailbox_);
    if (window_)
        window_registry::insert(window_, sink);
}

void SdkLink::unlink()
{
    if (!linked_)
        return;
    linked_ = false;
    sdk_unregister_message_notification_handler(notification_handler, &mailbox_);
    if (window_)
        window_registry::erase(window_);
    mailbox_.close();
    if (window_)
        dispose_message_window(window_, mailbox_.owner_thread());
}

}  // namespace talkwire
