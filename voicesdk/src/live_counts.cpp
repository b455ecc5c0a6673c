#include "live_counts.h"

#include <mutex>

namespace voicesdk {
namespace {

// Never destroyed: threads that end during process exit still retire their
// blocks.
struct Registry {
    std::mutex mutex;
    LiveBlock *blocks = nullptr;
};

Registry &registry()
{
    static Registry *instance = new Registry;
    return *instance;
}

}  // namespace

void register_block(LiveBlock &block)
{
    Registry &all = registry();
    std::lock_guard<std::mutex> lock(all.mutex);
    block.next = all.blocks;
    all.blocks = &block;
}

void retire_block(LiveBlock &block, LiveBlock &into)
{
    Registry &all = registry();
    std::lock_guard<std::mutex> lock(all.mutex);
    for (LiveBlock **link = &all.blocks; *link; link = &(*link)->next) {
        if (*link == &block) {
            *link = block.next;
            break;
        }
    }
    for (int i = 0; i < live_class_count; ++i)
        into.counts[i].fetch_add(block.counts[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
}

LiveTotals live_totals()
{
    Registry &all = registry();
    long sums[live_class_count] = {};
    std::lock_guard<std::mutex> lock(all.mutex);
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
