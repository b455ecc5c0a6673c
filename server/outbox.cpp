#include "outbox.h"

#include <unistd.h>

namespace voiceserver {

void Outbox::push(Delivery delivery)
{
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = items_.empty() && std::this_thread::get_id() != loop_thread_;
        items_.push_back(std::move(delivery));
    }
    if (wake) {
        char byte = 'w';
        // A full pipe already holds a wake-up.
        ssize_t ignored = write(wake_fd_, &byte, 1);
        (void)ignored;
    }
}

std::vector<Delivery> Outbox::take()
{
    std::vector<Delivery> taken;
    std::lock_guard<std::mutex> lock(mutex_);
    taken.swap(items_);
    return taken;
}

}  // namespace voiceserver
