#include "bridge/answer_holds.h"

#include "bridge/sdk_message.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

namespace talkwire {
namespace answer_holds {

std::atomic<size_t> g_count{0};

namespace {

struct Hold {
    sdk_message_base_t *message;
    bool let_go;  // a mailbox left it to the reader
};

std::mutex &holds_mutex()
{
    static std::mutex mutex;
    return mutex;
}

// At most one per waiting caller: a short list.
std::vector<Hold> &holds()
{
    static std::vector<Hold> list;
    return list;
}

std::vector<Hold>::iterator find(sdk_message_base_t *message)
{
    return std::find_if(holds().begin(), holds().end(),
                        [message](const Hold &hold) { return hold.message == message; });
}

// Takes the hold out; true when a mailbox had let go of its record.
bool drop(sdk_message_base_t *message)
{
    std::lock_guard<std::mutex> lock(holds_mutex());
    auto it = find(message);
    if (it == holds().end())
        return false;
    bool let_go = it->let_go;
    holds().erase(it);
    g_count.fetch_sub(1, std::memory_order_relaxed);
    return let_go;
}

}  // namespace

bool hold(sdk_message_base_t *message)
{
    std::lock_guard<std::mutex> lock(holds_mutex());
    try {
        holds().push_back(Hold{message, false});
    } catch (const std::bad_alloc &) {
        return false;
    }
    g_count.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void cancel(sdk_message_base_t *message)
{
    drop(message);
}

void release(sdk_message_base_t *message)
{
    SdkMessage released(drop(message) ? message : nullptr);
}

bool let_go_if_held(sdk_message_base_t *message)
{
    std::lock_guard<std::mutex> lock(holds_mutex());
    auto it = find(message);
    if (it == holds().end())
        return false;
    it->let_go = true;
    return true;
}

}  // namespace answer_holds
}  // namespace talkwire
