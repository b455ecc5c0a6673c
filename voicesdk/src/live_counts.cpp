#include "live_counts.h"

#include <mutex>
#include <new>

namespace voicesdk {

thread_local LiveBlock *this_thread_block VOICESDK_THREAD_WORD = nullptr;

namespace {

// Never destroyed: threads that end during process exit still fold their
// blocks in.
struct Registry {
    std::mutex mutex;
    LiveBlock shared;
    LiveBlock *blocks = nullptr;  // one per counting thread

    Registry() { shared.shared = true; }
};

Registry &registry()
{
    static Registry *instance = new Registry;
    return *instance;
}

// Ends with its thread: adds the thread's counts to the shared block and
// points the thread at it for whatever it still counts.
struct ThreadExit {
    LiveBlock *block = nullptr;

    ~ThreadExit()
    {
        if (!block)
            return;
        Registry &all = registry();
        {
            std::lock_guard<std::mutex> lock(all.mutex);
            for (LiveBlock **link = &all.blocks; *link; link = &(*link)->next) {
                if (*link == block) {
                    *link = block->next;
                    break;
                }
            }
            for (int i = 0; i < live_class_count; ++i)
                all.shared.counts[i].fetch_add(block->counts[i].load(std::memory_order_relaxed),
                                               std::memory_order_relaxed);
        }
        this_thread_block = &all.shared;
        delete block;
    }
};

thread_local ThreadExit thread_exit;

}  // namespace

LiveBlock &attach_this_thread()
{
    Registry &all = registry();
    auto *block = new (std::nothrow) LiveBlock;
    if (!block) {
        this_thread_block = &all.shared;
        return all.shared;
    }
    {
        std::lock_guard<std::mutex> lock(all.mutex);
        block->next = all.blocks;
        all.blocks = block;
    }
    thread_exit.block = block;
    this_thread_block = block;
    return *block;
}

LiveTotals live_totals()
{
    Registry &all = registry();
    long sums[live_class_count] = {};
    std::lock_guard<std::mutex> lock(all.mutex);
    for (int i = 0; i < live_class_count; ++i)
        sums[i] = all.shared.counts[i].load(std::memory_order_relaxed);
    for (const LiveBlock *block = all.blocks; block; block = block->next)
        for (int i = 0; i < live_class_count; ++i)
            sums[i] += block->counts[i].load(std::memory_order_relaxed);
    LiveTotals totals;
    totals.requests = sums[live_requests];
    totals.responses = sums[live_responses];
    totals.events = sums[live_events];
    return totals;
}

}  // namespace voicesdk
