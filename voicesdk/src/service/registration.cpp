// Makes "service" a mode of the stand-in and gives the control interface a
// way to the service in force.  Each switch to the mode starts a fresh service;
// leaving the mode (or reset) destroys it, which stops its timed work.
#include "registration.h"

#include "service.h"

#include <memory>
#include <mutex>

namespace voicesdk {
namespace service {
namespace {

// Never destroyed: the exit hook below and late callers still find them.
std::mutex &current_mutex()
{
    static auto *mutex = new std::mutex;
    return *mutex;
}

std::weak_ptr<Service> &current()
{
    static auto *service = new std::weak_ptr<Service>;
    return *service;
}

std::shared_ptr<Service> running()
{
    std::lock_guard<std::mutex> lock(current_mutex());
    return current().lock();
}

std::shared_ptr<Responder> make_service()
{
    // In this process every message goes to the SDK's one queue.
    auto service = std::make_shared<Service>([](uint64_t, MessagePtr message) { post_message(message.release()); });
    std::lock_guard<std::mutex> lock(current_mutex());
    current() = service;
    return service;
}

struct Registration {
    Registration() { register_mode("service", &make_service); }
    // The mode's owner is never destroyed; its timer thread must still end
    // before the process tears down.
    ~Registration()
    {
        if (std::shared_ptr<Service> service = running())
            service->stop();
    }
} registration;

}  // namespace

std::shared_ptr<Service> running_service()
{
    return running();
}

}  // namespace service
}  // namespace voicesdk
