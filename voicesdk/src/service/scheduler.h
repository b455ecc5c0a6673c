// Delivery at a later time: messages and actions waiting for their moment,
// handed to the delivery function by a timer thread of the stand-in (or at
// once by whoever calls run_due).  Items due at the same moment keep the
// order in which they were scheduled.
#ifndef VOICESDK_SRC_SERVICE_SCHEDULER_H
#define VOICESDK_SRC_SERVICE_SCHEDULER_H

#include "message_ptr.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace voicesdk {
namespace service {

using Clock = std::chrono::steady_clock;

// Hands a message to whoever `to` names (the SDK's queue in the stand-in, a
// client's connection in the server).  Called with the scheduler's lock
// held: it must not call back into the scheduler.
using Deliver = std::function<void(uint64_t to, MessagePtr message)>;

class Scheduler {
public:
    explicit Scheduler(Deliver deliver) : deliver_(std::move(deliver)) {}
    Scheduler(const Scheduler &) = delete;
    Scheduler &operator=(const Scheduler &) = delete;
    ~Scheduler();

    // Tag 0 is never cancelled.
    void at(Clock::time_point due, uint64_t tag, uint64_t to, MessagePtr message);
    // The action runs outside the scheduler's lock.
    void at(Clock::time_point due, uint64_t tag, std::function<void()> action);
    // Releases the tag's waiting messages and drops its waiting actions.
    void cancel(uint64_t tag);
    // On the caller's thread: delivers everything already due, in order.
    void run_due();
    size_t pending();
    // True once nothing waits and no action runs; false on time-out.
    bool wait_idle(double timeout_seconds);
    // Ends the timer thread and releases whatever still waits; for good.
    void stop();

private:
    struct Item {
        uint64_t tag;
        uint64_t to;
        MessagePtr message;
        std::function<void()> action;
    };
    using Key = std::pair<Clock::time_point, uint64_t>;  // due, then order of scheduling

    void add(Clock::time_point due, Item item);
    // Takes the first due item; false when none is due.  Messages are posted
    // here, under the lock, so that cancel() never races a delivery.
    bool deliver_one(std::unique_lock<std::mutex> &lock);
    void run();

    const Deliver deliver_;
    std::mutex mutex_;
    std::condition_variable wake_;  // the timer thread
    std::condition_variable idle_;  // wait_idle
    std::map<Key, Item> items_;
    uint64_t next_seq_ = 0;
    int running_actions_ = 0;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace service
}  // namespace voicesdk

#endif
