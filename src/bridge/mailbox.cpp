#include "bridge/mailbox.h"

#include "bridge/message_window.h"

namespace talkwire {

void Mailbox::open(HWND window)
{
    std::lock_guard<std::mutex> lock(mutex_);
    window_ = window;
}

bool Mailbox::deliver(sdk_message_base_t *message)
{
    HWND wake = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!window_)
            return false;
        arrived_.push_back(message);
        if (!wake_pending_) {
            wake_pending_ = true;
            wake = window_;
        }
    }
    // Posted outside the lock.  A failed post leaves the message queued: the
    // next delivery posts again, and close() releases whatever is left.
    if (wake && !PostMessageA(wake, kSdkMessage, 0, 0)) {
        std::lock_guard<std::mutex> lock(mutex_);
        wake_pending_ = false;
    }
    return true;
}

void Mailbox::collect()
{
    std::lock_guard<std::mutex> lock(mutex_);
    wake_pending_ = false;
    for (sdk_message_base_t *message : arrived_)
        owned_.push_back(message);
    arrived_.clear();
}

sdk_message_base_t *Mailbox::next()
{
    if (owned_.empty())
        return nullptr;
    sdk_message_base_t *message = owned_.front();
    owned_.pop_front();
    return message;
}

void Mailbox::close()
{
    std::deque<sdk_message_base_t *> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        window_ = nullptr;
        left.swap(arrived_);
    }
    for (sdk_message_base_t *message : owned_)
        destroy_msg(message);
    owned_.clear();
    for (sdk_message_base_t *message : left)
        destroy_msg(message);
}

}  // namespace talkwire
