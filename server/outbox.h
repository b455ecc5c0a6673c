// Frames on their way from the service's rules to client connections.  The
// rules deliver on the loop's thread (answers due at once) and on the
// scheduler's (anything delayed); the loop takes everything when it wakes.
#ifndef SERVER_OUTBOX_H
#define SERVER_OUTBOX_H

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace voiceserver {

struct Delivery {
    uint64_t to;  // connection id
    std::string frame;
};

class Outbox {
public:
    // wake_fd: written to (one byte) when a delivery from another thread
    // finds the outbox empty.
    explicit Outbox(int wake_fd) : wake_fd_(wake_fd), loop_thread_(std::this_thread::get_id()) {}
    void push(Delivery delivery);
    std::vector<Delivery> take();

private:
    const int wake_fd_;
    const std::thread::id loop_thread_;
    std::mutex mutex_;
    std::vector<Delivery> items_;
};

}  // namespace voiceserver

#endif
