#include "bridge/window_registry.h"

#include <map>
#include <mutex>

namespace talkwire {
namespace window_registry {
namespace {

std::mutex &registry_mutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<HWND, MessageSink *> &registry()
{
    static std::map<HWND, MessageSink *> map;
    return map;
}

}  // namespace

void insert(HWND window, MessageSink *sink)
{
    std::lock_guard<std::mutex> lock(registry_mutex());
    registry().emplace(window, sink);
}

void erase(HWND window)
{
    std::lock_guard<std::mutex> lock(registry_mutex());
    registry().erase(window);
}

MessageSink *find(HWND window)
{
    std::lock_guard<std::mutex> lock(registry_mutex());
    auto it = registry().find(window);
    return it == registry().end() ? nullptr : it->second;
}

size_t size()
{
    std::lock_guard<std::mutex> lock(registry_mutex());
    return registry().size();
}

}  // namespace window_registry
}  // namespace talkwire
