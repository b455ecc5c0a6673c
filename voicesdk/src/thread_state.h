// What the stand-in keeps per thread: the thread's block of live counts and
// its allocation arena.  Reached through one thread-local word; made on the
// thread's first use and folded away when the thread ends.
#ifndef VOICESDK_SRC_THREAD_STATE_H
#define VOICESDK_SRC_THREAD_STATE_H

#include "arena.h"
#include "live_counts.h"

namespace voicesdk {

struct ThreadState {
    LiveBlock counts;
    Arena arena;
};

#if defined(__GNUC__) && !defined(_WIN32)
// initial-exec keeps reading the word a plain load rather than a call into
// the dynamic loader; one pointer is all the static TLS it takes.
#define VOICESDK_THREAD_WORD __attribute__((tls_model("initial-exec")))
#else
#define VOICESDK_THREAD_WORD
#endif

extern thread_local ThreadState *this_thread_state VOICESDK_THREAD_WORD;

// Makes and registers the calling thread's state.  A thread that has ended
// (or cannot get memory for its state) gets the shared state: counted with
// atomic additions, allocating with malloc.
ThreadState &attach_this_thread();

inline ThreadState &thread_state()
{
    ThreadState *state = this_thread_state;
    return state ? *state : attach_this_thread();
}

inline void count_live(LiveClass which, long delta)
{
    thread_state().counts.add(which, delta);
}

}  // namespace voicesdk

#endif
