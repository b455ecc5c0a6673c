// How many records of each class are alive and owed a release, for
// live().  Each thread counts in a block of its own (see thread_state.h),
// so making and releasing a record costs a plain increment instead of an
// atomic read-modify-write on a counter every thread shares; live() adds
// the blocks up.  A record made on one thread and released on another
// leaves +1 in one block and -1 in the other, which sum to nothing.
#ifndef VOICESDK_SRC_LIVE_COUNTS_H
#define VOICESDK_SRC_LIVE_COUNTS_H

#include <atomic>

namespace voicesdk {

enum LiveClass { live_requests, live_responses, live_events, live_class_count };

struct LiveTotals {
    long requests = 0;
    long responses = 0;
    long events = 0;
};

struct LiveBlock {
    std::atomic<long> counts[live_class_count] = {};
    // Written by several threads (the block of threads that have ended), so
    // with atomic additions.
    bool shared = false;
    LiveBlock *next = nullptr;  // in the list live() adds up

    void add(LiveClass which, long delta)
    {
        std::atomic<long> &count = counts[which];
        if (shared)
            count.fetch_add(delta, std::memory_order_relaxed);
        else  // only its thread writes it
            count.store(count.load(std::memory_order_relaxed) + delta, std::memory_order_relaxed);
    }
};

// Blocks join the list when made; an ending thread's block is added into
// `into` and leaves it.
void register_block(LiveBlock &block);
void retire_block(LiveBlock &block, LiveBlock &into);

LiveTotals live_totals();

}  // namespace voicesdk

#endif
