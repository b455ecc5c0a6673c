// The process-wide message queue and the one notification thread that calls
// the registered handlers while messages wait.
#ifndef VOICESDK_SRC_HUB_H
#define VOICESDK_SRC_HUB_H

#include "voicesdk/voicesdk.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace voicesdk {

class Hub {
public:
    Hub() = default;
    Hub(const Hub &) = delete;
    Hub &operator=(const Hub &) = delete;
    ~Hub();

    void post(sdk_message_base_t *message);
    void post(std::vector<sdk_message_base_t *> &messages);  // in one go; empties the vector
    bool take(sdk_message_base_t **message);
    // Hands every queued message to the caller.
    std::deque<sdk_message_base_t *> drain();

    int add_handler(sdk_message_notification_handler_t handler, void *user_data);
    int remove_handler(sdk_message_notification_handler_t handler, void *user_data);
    int handler_count();

    bool flush(double timeout_seconds);

    // Stops the notification thread for good (process exit).
    void shutdown();

private:
    struct Entry {
        sdk_message_notification_handler_t handler;
        void *user_data;
        uint64_t id;
    };

    void run();
    bool registered(uint64_t id) const;
    void start_locked();
    void notify_idle_locked();

    std::mutex mutex_;
    std::condition_variable work_;  // wakes the notification thread
    std::condition_variable idle_;  // flush and unregistration waiters
    std::deque<sdk_message_base_t *> queue_;
    std::vector<Entry> handlers_;
    uint64_t next_id_ = 1;
    uint64_t calling_ = 0;    // entry id whose call is running, 0 when none
    uint64_t wake_seq_ = 0;   // bumped by every post and registration
    uint64_t taken_ = 0;      // messages taken so far
    int idle_waiters_ = 0;
    bool sleeping_ = false;   // notification thread waits for work
    bool stop_ = false;
    std::thread thread_;
    std::thread::id thread_id_;
};

}  // namespace voicesdk

#endif
