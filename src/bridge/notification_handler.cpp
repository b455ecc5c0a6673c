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
        if (pending)
            pending->hand_off(reinterpret_cast<sdk_resp_base_t *>(message));
        bool delivered = mailbox && mailbox->deliver(message);
        if (pending)
            pending->post_outcome(delivered);
        else if (!delivered)
            destroy_msg(message);
    }
}

}  // namespace talkwire
