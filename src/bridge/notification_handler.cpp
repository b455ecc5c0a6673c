#include "bridge/notification_handler.h"

#include "bridge/mailbox.h"
#include "bridge/pending_request.h"

namespace talkwire {
namespace {

PendingRequest *waiting_caller(sdk_message_base_t *message)
{
    if (message->message_type != sdk_message_response)
        return nullptr;
    auto *response = reinterpret_cast<sdk_resp_base_t *>(message);
    if (!is_synchronous_response_type(response->response_type) || !response->request)
        return nullptr;
    return static_cast<PendingRequest *>(response->request->user_pointer);
}

}  // namespace

void notification_handler(void *user_data)
{
    auto *mailbox = static_cast<Mailbox *>(user_data);
    sdk_message_base_t *message = nullptr;
    while (sdk_get_message(&message) == 0) {
        // The hand-off comes first: a synchronous caller is blocked on it.
        PendingRequest *pending = waiting_caller(message);
        // A copy posted to another thread's connector could be dispatched,
        // and released, while its caller still reads it: such an answer
        // stays the caller's alone (nothing dispatches synchronous answers).
        const bool may_post = !pending || (mailbox && pending->caller_thread() == mailbox->owner_thread());
        if (pending)
            pending->hand_off(reinterpret_cast<sdk_resp_base_t *>(message));
        bool delivered = may_post && mailbox && mailbox->deliver(message);
        if (pending)
            pending->post_outcome(delivered);
        else if (!delivered)
            destroy_msg(message);
    }
}

}  // namespace talkwire
