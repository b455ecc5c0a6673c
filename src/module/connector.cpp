#include "module/connector.h"

#include "bridge/pump_exit.h"
#include "dispatch/handle_message.h"

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
        SdkMessage message = mailbox.next();
        if (!message)
            return;
        dispatch::handle_message(*this, std::move(message));
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

}  // namespace talkwire
