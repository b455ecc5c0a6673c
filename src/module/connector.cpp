#include "module/connector.h"

#include "bridge/pump_exit.h"
#include "dispatch/dispatch.h"

namespace talkwire {

Connector::Connector(PyObject *self, PyObject *listener)
    : self_(self), owner_process_(GetCurrentProcessId()), listener_(OwnedRef::take(listener)), link_(this)
{
}

void Connector::on_sdk_wake()
{
    // A listener callback may drop the last reference to this connector:
    // the drain keeps it alive until it returns.
    OwnedRef keep_alive = OwnedRef::take(self_);
    struct Count {
        Py_ssize_t &drains;
        explicit Count(Py_ssize_t &drains) : drains(drains) { ++drains; }
        ~Count() { --drains; }
    } count(drains_);

    Mailbox &mailbox = link_.mailbox();
    mailbox.collect();
    DrainStop stop = DrainStop::kNone;
    while (stop == DrainStop::kNone) {
        sdk_message_base_t *message = mailbox.next();
        if (!message)
            return;
        dispatch(message);
        stop = drain_stop();
    }
    // The one way out before the mailbox is empty.
    switch (stop) {
    case DrainStop::kReleased:
        // Nobody can call it again: it hears nothing more, issues nothing
        // more, and what its mailbox still holds is released now, as its
        // destruction would.
        link_.unlink();
        break;
    case DrainStop::kPumpExit:
        // The rest stays queued for the next pump.
        mailbox.wake_again();
        break;
    case DrainStop::kNone:
        break;
    }
}

Connector::DrainStop Connector::drain_stop() const
{
    if (Py_REFCNT(self_) <= drains_ + pump_call_references(self_))
        return DrainStop::kReleased;
    if (pump_exit_pending())
        return DrainStop::kPumpExit;
    return DrainStop::kNone;
}

void Connector::dispatch(sdk_message_base_t *message)
{
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

}  // namespace talkwire
