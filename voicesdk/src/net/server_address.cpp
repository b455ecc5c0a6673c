#include "server_address.h"

#include <cstdlib>
#include <mutex>

namespace voicesdk {
namespace net {
namespace {

struct Choice {
    std::mutex mutex;
    bool chosen = false;
    std::string address;
};

// Never destroyed: connectors may still be made while the process exits.
Choice &choice()
{
    static Choice *instance = new Choice;
    return *instance;
}

}  // namespace

std::string server_address()
{
    Choice &current = choice();
    {
        std::lock_guard<std::mutex> lock(current.mutex);
        if (current.chosen)
            return current.address;
    }
    const char *variable = std::getenv(kServerVariable);
    return variable ? variable : "";
}

void choose_server(const char *address)
{
    Choice &current = choice();
    std::lock_guard<std::mutex> lock(current.mutex);
    current.chosen = address != nullptr;
    current.address = address ? address : "";
}

}  // namespace net
}  // namespace voicesdk
