#include "bridge/notification_handler.h"

#include "bridge/answer_holds.h"
#include "bridge/mailbox.h"
#include "bridge/pending_request.h"
#include "bridge/sdk_message.h"

#include <utility>

namespace talkwire {
namespace {

// The record of the caller waiting for this answer, taken off its request:
// the reference it carried is the handler's now, and a second answer to
// the same request finds no caller.
PendingRequest *waiting_caller(sdk_message_base_t *message)
{
    if (message->message_type != sdk_message_response)
        return nullptr;
    auto *response = reinterpret_cast<sdk_resp_base_t *>(message);
    if (!is_synchronous_response_type(response->response_type) || !response->request)
        return nullptr;
    return static_cast<PendingRequest *>(std::exchange(response->request->user_pointer, nullptr));
}

// Messages nobody waits for, delivered a group at a time: one mailbox lock
// and at most one wake-up per group instead of per message.  The SDK's
// queue is drained without blocking, so a group waits only while the next
// messages are taken.
class Group {
public:
    explicit Group(Mailbox *mailbox) : mailbox_(mailbox) {}
    Group(const Group &) = delete;
    Group &operator=(const Group &) = delete;
    ~Group() { deliver(); }

    void add(sdk_message_base_t *message)
    {
        messages_[count_++] = message;
        if (count_ == kSize)
            deliver();
    }

    // True once the mailbox found its window gone: take nothing more.
    bool stopped() const { return mailbox_ && mailbox_->window_known_lost(); }

    // Delivers what is held; what the mailbox cannot take is released.
    void deliver()
    {
        if (count_ == 0)
            return;
        if (!mailbox_ || !mailbox_->deliver(messages_, count_)) {
            for (size_t i = 0; i < count_; ++i)
                SdkMessage refused(messages_[i]);  // released here
        }
        count_ = 0;
    }

private:
    static constexpr size_t kSize = 64;
    Mailbox *mailbox_;
    sdk_message_base_t *messages_[kSize];
    size_t count_ = 0;
};

}  // namespace

void notification_handler(void *user_data)
{
    auto *mailbox = static_cast<Mailbox *>(user_data);
    // A window gone with its thread can never be woken: the SDK's messages
    // are left to the handlers of live connectors.
    if (mailbox && mailbox->window_lost())
        return;
    Group group(mailbox);
    sdk_message_base_t *message = nullptr;
    // The window may go while this runs: what was taken by then is
    // released, and nothing more is taken.
    while (!group.stopped() && sdk_get_message(&message) == 0) {
        PendingRequest *pending = waiting_caller(message);
        if (!pending) {
            group.add(message);
            continue;
        }
        // The hand-off comes first: a synchronous caller is blocked on it.
        // The posted copy is held for its caller until the caller is done
        // reading.  A copy for another thread's connector would only have
        // that thread release it: such an answer stays the caller's alone
        // (nothing dispatches synchronous answers).
        const bool may_post = mailbox && pending->caller_thread() == mailbox->owner_thread();
        pending->hand_off(reinterpret_cast<sdk_resp_base_t *>(message));
        // Whatever came before the answer reaches the mailbox before it.
        group.deliver();
        const bool held = may_post && answer_holds::hold(message);
        const bool delivered = held && mailbox->deliver(message);
        if (held && !delivered)
            answer_holds::cancel(message);
        pending->post_outcome(delivered);
    }
}

}  // namespace talkwire
