#include "bridge/notification_handler.h"

#include "bridge/message_window.h"
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
    HWND window = static_cast<HWND>(user_data);
    sdk_message_base_t *message = nullptr;
    while (sdk_get_message(&message) == 0) {
        PendingRequest *pending = waiting_caller(message);
        if (pending)
            pending->hand_off(reinterpret_cast<sdk_resp_base_t *>(message));
        // A null window would post a thread message to this thread's queue.
        bool posted = window && PostMessageA(window, kSdkMessage, 0, reinterpret_cast<LPARAM>(message));
        if (pending)
            pending->post_outcome(posted);
        else if (!posted)
            destroy_msg(message);
    }
}

}  // namespace talkwire
