// How many records of each class are alive and owed a release, for
// live().  Each thread counts in a block of its own, so making and
// releasing a record costs a plain increment instead of an atomic
// read-modify-write on a counter every thread shares; live() adds the
// blocks up.  A record made on one thread and released on another leaves
// +1 in one block and -1 in the other, which sum to nothing.
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
    // The block of threads that have ended (and of threads still counting
    // at process exit): written by any thread, so with atomic additions.
    bool shared = false;
    LiveBlock *next = nullptr;
};

#if defined(__GNUC__) && !defined(_WIN32)
// The library's one thread-local word: initial-exec keeps reading it a
// plain load rather than a call into the dynamic loader.
#define VOICESDK_THREAD_WORD __attribute__((tls_model("initial-exec")))
#else
#define VOICESDK_THREAD_WORD
#endif

extern thread_local LiveBlock *this_thread_block VOICESDK_THREAD_WORD;

// The calling thread's block, made and registered on its first count.
LiveBlock &attach_this_thread();

inline void count_live(LiveClass which, long delta)
{
    LiveBlock *block = this_thread_block;
    if (!block)
        block = &attach_this_thread();
    std::atomic<long> &count = block->counts[which];
    if (block->shared)
        count.fetch_add(delta, std::memory_order_relaxed);
    else  // only this thread writes it
        count.store(count.load(std::memory_order_relaxed) + delta, std::memory_order_relaxed);
}

LiveTotals live_totals();

}  // namespace voicesdk

#endif
