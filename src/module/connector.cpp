#include "module/connector.h"

#include "dispatch/dispatch.h"
#include "pycompat/gil.h"

namespace talkwire {

Connector::Connector(PyObject *self, PyObject *listener)
    : self_(self), listener_(OwnedRef::take(listener)), link_(this)
{
}

void Connector::on_sdk_wake()
{
    // Whoever pumps may have let go of the lock: a host's loop calling
    // DispatchMessageA through ctypes.CDLL does.
    py::LockHeld lock;
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
