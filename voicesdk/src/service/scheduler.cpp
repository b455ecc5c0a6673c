#include "scheduler.h"

#include "quiet_thread.h"

#include <algorithm>
#include <vector>

namespace voicesdk {
namespace service {

Scheduler::~Scheduler()
{
    stop();
}

void Scheduler::at(Clock::time_point due, uint64_t tag, uint64_t to, MessagePtr message)
{
    if (message)
        add(due, Item{tag, to, std::move(message), nullptr});
}

void Scheduler::at(Clock::time_point due, uint64_t tag, std::function<void()> action)
{
    if (action)
        add(due, Item{tag, 0, nullptr, std::move(action)});
}

void Scheduler::add(Clock::time_point due, Item item)
{
    bool first;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_)
            return;  // the item is released on the way out
        auto placed = items_.emplace(Key(due, next_seq_++), std::move(item)).first;
        first = placed == items_.begin();
        // Work due now is done by run_due; the thread is only for later work.
        if (!thread_.joinable() && due > Clock::now())
            thread_ = start_quiet_thread([this] { run(); });
    }
    if (first)
        wake_.notify_one();
}

void Scheduler::cancel(uint64_t tag)
{
    std::vector<Item> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = items_.begin(); it != items_.end();) {
            if (tag != 0 && it->second.tag == tag) {
                dropped.push_back(std::move(it->second));
                it = items_.erase(it);
            } else {
                ++it;
            }
        }
        if (items_.empty() && running_actions_ == 0)
            idle_.notify_all();
    }
}

bool Scheduler::deliver_one(std::unique_lock<std::mutex> &lock)
{
    if (items_.empty() || items_.begin()->first.first > Clock::now())
        return false;
    Item item = std::move(items_.begin()->second);
    items_.erase(items_.begin());
    if (item.message) {
        deliver_(item.to, std::move(item.message));
    } else {
        ++running_actions_;
        lock.unlock();
        try {
            item.action();
        } catch (...) {
            // Out of memory inside an action: that tick is lost, the rest goes on.
        }
        item.action = nullptr;
        lock.lock();
        --running_actions_;
    }
    if (items_.empty() && running_actions_ == 0)
        idle_.notify_all();
    return true;
}

void Scheduler::run_due()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_ && deliver_one(lock)) {
    }
}

// Timer thread.
void Scheduler::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (items_.empty()) {
            wake_.wait(lock);
        } else if (!deliver_one(lock)) {
            Clock::time_point due = items_.begin()->first.first;
            wake_.wait_until(lock, due);
        }
    }
}

size_t Scheduler::pending()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size() + static_cast<size_t>(running_actions_);
}

bool Scheduler::wait_idle(double timeout_seconds)
{
    double seconds = std::min(std::max(timeout_seconds, 0.0), 1e7);
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_until(lock, deadline, [&] { return items_.empty() && running_actions_ == 0; });
}

void Scheduler::stop()
{
    std::thread thread;
    std::map<Key, Item> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        thread.swap(thread_);
        dropped.swap(items_);
    }
    wake_.notify_all();
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
    idle_.notify_all();
}

}  // namespace service
}  // namespace voicesdk
