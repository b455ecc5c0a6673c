#include "bridge/mailbox.h"

#include "bridge/answer_holds.h"
#include "bridge/message_window.h"

#include <new>

namespace talkwire {
namespace {

// The message, the mailbox's to hand out or release, or nothing when a
// synchronous caller still reads it (that caller releases it).
SdkMessage unless_held(sdk_message_base_t *message)
{
    return SdkMessage(answer_holds::let_go(message) ? nullptr : message);
}

}  // namespace

void Mailbox::open(HWND window)
{
    owner_thread_ = GetCurrentThreadId();
    std::lock_guard<std::mutex> lock(mutex_);
    window_ = window;
}

bool Mailbox::deliver(sdk_message_base_t *const *messages, size_t count)
{
    HWND wake = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!window_ || window_known_lost())
            return false;
        // Out of memory the messages stay the caller's: an exception must
        // not leave the SDK's callback.
        try {
            arrived_.insert(arrived_.end(), messages, messages + count);
        } catch (const std::bad_alloc &) {
            return false;
        }
        if (!wake_pending_) {
            wake_pending_ = true;
            wake = window_;
        }
    }
    // Posted outside the lock.  A failed post to a live window (its queue
    // full) leaves the messages queued: the next delivery posts again, and
    // close() releases whatever is left.  Delivered one by one, each message
    // would have tried once, so a group tries as often.
    if (!wake)
        return true;
    for (size_t attempt = 0; attempt < count; ++attempt) {
        if (PostMessageA(wake, kSdkMessage, 0, 0))
            return true;
    }
    if (!IsWindow(wake)) {
        // Gone with its thread: nobody will ever collect what waits here.
        window_lost_.store(true, std::memory_order_release);
        release_stranded();
        return true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    wake_pending_ = false;
    return true;
}

bool Mailbox::window_lost()
{
    if (window_known_lost())
        return true;
    HWND window;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        window = window_;
    }
    if (!window || IsWindow(window))
        return false;
    window_lost_.store(true, std::memory_order_release);
    release_stranded();
    return true;
}

void Mailbox::release_stranded()
{
    std::vector<sdk_message_base_t *> stranded;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stranded.swap(arrived_);
        wake_pending_ = false;
    }
    for (sdk_message_base_t *message : stranded)
        unless_held(message);  // released here
}

void Mailbox::collect()
{
    std::vector<sdk_message_base_t *> spare;  // freed after the lock
    std::lock_guard<std::mutex> lock(mutex_);
    wake_pending_ = false;
    if (taken_ < owned_.size()) {
        // A nested pump.  Out of memory the arrivals wait where they are,
        // behind the rest of the list, until the next delivery's wake-up.
        try {
            owned_.insert(owned_.end(), arrived_.begin(), arrived_.end());
        } catch (const std::bad_alloc &) {
            return;
        }
        arrived_.clear();
        return;
    }
    // Everything before was handled: the arrivals become the list, and the
    // emptied list's storage takes the next arrivals, unless a burst made
    // it large.
    owned_.clear();
    taken_ = 0;
    owned_.swap(arrived_);
    if (arrived_.capacity() > kKeptCapacity)
        arrived_.swap(spare);
}

SdkMessage Mailbox::next()
{
    for (;;) {
        if (taken_ == owned_.size()) {
            // All handled: a burst's storage goes back at once.
            if (owned_.capacity() > kKeptCapacity)
                std::vector<sdk_message_base_t *>().swap(owned_);
            owned_.clear();
            taken_ = 0;
            return SdkMessage();
        }
#if defined(__GNUC__)
        // A long burst outgrows the caches: start loading a message a few
        // turns before it is handled (its record and the texts after it).
        constexpr size_t kAhead = 4;
        if (taken_ + kAhead < owned_.size()) {
            const char *ahead = reinterpret_cast<const char *>(owned_[taken_ + kAhead]);
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + 64);
        }
#endif
        if (SdkMessage message = unless_held(owned_[taken_++]))
            return message;
    }
}

void Mailbox::wake_again()
{
    HWND wake = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (window_ && !wake_pending_ && (taken_ < owned_.size() || !arrived_.empty())) {
            wake_pending_ = true;
            wake = window_;
        }
    }
    // Refused, the rest waits for the next delivery's wake-up, as after any
    // failed post.
    if (wake && !PostMessageA(wake, kSdkMessage, 0, 0)) {
        std::lock_guard<std::mutex> lock(mutex_);
        wake_pending_ = false;
    }
}

void Mailbox::close()
{
    std::vector<sdk_message_base_t *> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        window_ = nullptr;
        left.swap(arrived_);
    }
    for (size_t i = taken_; i < owned_.size(); ++i)
        unless_held(owned_[i]);  // released here
    owned_.clear();
    taken_ = 0;
    for (sdk_message_base_t *message : left)
        unless_held(message);
}

void Mailbox::forsake()
{
    // No other thread runs in the child: nothing to lock against.
    forsaken_ = true;
    window_ = nullptr;
    std::vector<sdk_message_base_t *>().swap(arrived_);
    std::vector<sdk_message_base_t *>().swap(owned_);
    taken_ = 0;
}

}  // namespace talkwire
