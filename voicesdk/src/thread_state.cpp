#include "thread_state.h"

#include <new>

namespace voicesdk {

thread_local ThreadState *this_thread_state VOICESDK_THREAD_WORD = nullptr;

namespace {

// The state of threads that have ended, and of a thread that could not get
// one: never destroyed, so late releases at process exit still find it.
ThreadState &shared_state()
{
    static ThreadState *state = [] {
        auto *made = new ThreadState;
        made->counts.shared = true;
        made->arena.turn_off();
        register_block(made->counts);
        return made;
    }();
    return *state;
}

#ifndef _WIN32
// Ends with its thread: its counts join the shared block, its slab's unused
// charge goes back, and whatever the thread still does uses the shared state.
struct ThreadEnd {
    ThreadState *state = nullptr;

    ~ThreadEnd()
    {
        if (!state)
            return;
        ThreadState &shared = shared_state();
        retire_block(state->counts, shared.counts);
        this_thread_state = &shared;
        delete state;  // its arena retires its slab
    }
};

thread_local ThreadEnd thread_end;
#endif

}  // namespace

ThreadState &attach_this_thread()
{
    ThreadState &shared = shared_state();
#ifdef _WIN32
    // A thread-local object's destructor in a MinGW DLL proved undependable
    // (under wine the folded counts came out as garbage), so a thread could
    // not fold its state away when it ends: on Windows every thread uses
    // the shared state, with atomic counts and malloc.
    this_thread_state = &shared;
    return shared;
#else
    auto *state = new (std::nothrow) ThreadState;
    if (!state) {
        this_thread_state = &shared;
        return shared;
    }
    register_block(state->counts);
    thread_end.state = state;
    this_thread_state = state;
    return *state;
#endif
}

}  // namespace voicesdk
