#include "hub.h"

#include <algorithm>
#include <chrono>

namespace voicesdk {

Hub::~Hub()
{
    shutdown();
}

void Hub::shutdown()
{
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        thread.swap(thread_);
    }
    work_.notify_all();
    if (!thread.joinable())
        return;
    // A handler that ends the process must not wait for itself.
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

void Hub::post(sdk_message_base_t *message)
{
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(message);
        ++wake_seq_;
        wake = sleeping_;
    }
    if (wake)
        work_.notify_one();
}

void Hub::post(std::vector<sdk_message_base_t *> &messages)
{
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.insert(queue_.end(), messages.begin(), messages.end());
        ++wake_seq_;
        wake = sleeping_;
    }
    messages.clear();
    if (wake)
        work_.notify_one();
}

bool Hub::take(sdk_message_base_t **message)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty())
        return false;
    *message = queue_.front();
    queue_.pop_front();
    ++taken_;
    if (queue_.empty() && calling_ == 0)
        notify_idle_locked();
    return true;
}

std::deque<sdk_message_base_t *> Hub::drain()
{
    std::deque<sdk_message_base_t *> drained;
    std::lock_guard<std::mutex> lock(mutex_);
    drained.swap(queue_);
    notify_idle_locked();
    return drained;
}

int Hub::add_handler(sdk_message_notification_handler_t handler, void *user_data)
{
    if (!handler)
        return 1;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Entry &entry : handlers_)
            if (entry.handler == handler && entry.user_data == user_data)
                return 1;
        handlers_.push_back(Entry{handler, user_data, next_id_++});
        ++wake_seq_;
        start_locked();
    }
    work_.notify_one();
    return 0;
}

int Hub::remove_handler(sdk_message_notification_handler_t handler, void *user_data)
{
    std::unique_lock<std::mutex> lock(mutex_);
    auto it = std::find_if(handlers_.begin(), handlers_.end(), [&](const Entry &entry) {
        return entry.handler == handler && entry.user_data == user_data;
    });
    if (it == handlers_.end())
        return 1;
    uint64_t id = it->id;
    handlers_.erase(it);
    notify_idle_locked();  // flush may now have no handler left
    // From inside the handler itself the running call is our own caller.
    if (std::this_thread::get_id() != thread_id_) {
        ++idle_waiters_;
        idle_.wait(lock, [&] { return calling_ != id; });
        --idle_waiters_;
    }
    return 0;
}

int Hub::handler_count()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(handlers_.size());
}

bool Hub::flush(double timeout_seconds)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (std::this_thread::get_id() == thread_id_)
        return queue_.empty();
    auto done = [&] { return queue_.empty() && calling_ == 0; };
    auto stuck = [&] { return !queue_.empty() && handlers_.empty(); };
    // Clamp so that a huge time-out cannot overflow the clock.
    double seconds = std::min(std::max(timeout_seconds, 0.0), 1e7);
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(seconds));
    ++idle_waiters_;
    while (!done() && !stuck()) {
        if (idle_.wait_until(lock, deadline) == std::cv_status::timeout)
            break;
    }
    --idle_waiters_;
    return done();
}

bool Hub::registered(uint64_t id) const
{
    for (const Entry &entry : handlers_)
        if (entry.id == id)
            return true;
    return false;
}

void Hub::start_locked()
{
    if (thread_.joinable() || stop_)
        return;
    thread_ = std::thread([this] { run(); });
    thread_id_ = thread_.get_id();
}

void Hub::notify_idle_locked()
{
    if (idle_waiters_ > 0)
        idle_.notify_all();
}

void Hub::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    std::vector<Entry> round;
    uint64_t seen = 0;
    bool progress = false;
    while (!stop_) {
        // After a round in which nobody took anything, wait for news rather
        // than spin on messages no handler wants.
        if (queue_.empty() || handlers_.empty() || (!progress && seen == wake_seq_)) {
            sleeping_ = true;
            work_.wait(lock);
            sleeping_ = false;
            continue;
        }
        seen = wake_seq_;
        uint64_t taken = taken_;
        round = handlers_;
        for (const Entry &entry : round) {
            if (stop_ || queue_.empty())
                break;
            if (!registered(entry.id))
                continue;
            calling_ = entry.id;
            lock.unlock();
            entry.handler(entry.user_data);
            lock.lock();
            calling_ = 0;
            notify_idle_locked();
        }
        progress = taken_ != taken;
    }
}

}  // namespace voicesdk
