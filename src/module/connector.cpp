#include "module/connector.h"

#include "dispatch/dispatch.h"

namespace talkwire {

Connector::Connector(PyObject *self, PyObject *listener)
    : self_(self), owner_process_(GetCurrentProcessId()), listener_(OwnedRef::take(listener)), link_(this)
{
}

void Connector::on_sdk_wake()
{
    // A listener callback may drop the last reference to this connector.
    OwnedRef keep_alive = OwnedRef::take(self_);
    Mailbox &mailbox = link_.mailbox();
    mailbox.collect();
    while (sdk_message_base_t *message = mailbox.next()) {
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
