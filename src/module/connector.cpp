#include "module/connector.h"

#include "bridge/message_window.h"
#include "bridge/notification_handler.h"
#include "bridge/window_registry.h"
#include "dispatch/dispatch.h"

namespace talkwire {

Connector::Connector(PyObject *self, PyObject *listener)
    : self_(self), window_(create_message_window()), listener_(OwnedRef::take(listener))
{
    mailbox_.open(window_);
    sdk_register_message_notification_handler(notification_handler, &mailbox_);
    if (window_)
        window_registry::insert(window_, this);
}

Connector::~Connector()
{
    // After this returns no handler call is running or will post again.
    sdk_unregister_message_notification_handler(notification_handler, &mailbox_);
    if (window_)
        window_registry::erase(window_);
    mailbox_.close();
    if (window_)
        destroy_message_window(window_);
}

void Connector::on_sdk_wake()
{
    // A listener callback may drop the last reference to this connector.
    OwnedRef keep_alive = OwnedRef::take(self_);
    mailbox_.collect();
    while (sdk_message_base_t *message = mailbox_.next()) {
        switch (message->message_type) {
        case sdk_message_response:
            dispatch::handle_response(*this, reinterpret_cast<sdk_resp_base_t *>(message));
            break;
        case sdk_message_event:
            dispatch::handle_event(*this, reinterpret_cast<sdk_evt_base_t *>(message));
            break;
        default:
            destroy_msg(message);
            break;
        }
    }
}

}  // namespace talkwire
