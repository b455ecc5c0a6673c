// fork(): the platform's tables stay usable in the child.  Their locks are
// taken before the fork and given back after it in both processes, so the
// child finds none held by a thread it does not have; the child's
// doorbells are its own; the child's process id is asked afresh.
#include "internal.h"

#include <pthread.h>

namespace twplat {
namespace {

void before_fork()
{
    windows_before_fork();
    queues_before_fork();
    handles_before_fork();
}

void after_fork_in_parent()
{
    handles_after_fork();
    queues_after_fork(false);
    windows_after_fork();
}

void after_fork_in_child()
{
    g_process_id.store(0, std::memory_order_relaxed);
    handles_after_fork();
    queues_after_fork(true);
    windows_after_fork();
    // The forking thread goes on in the child; its waker is renewed too.
    if (ThreadState *ts = thread_state())
        ts->waker.renew();
}

// When the library is loaded.
const int g_fork_handlers = pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);

}  // namespace
}  // namespace twplat
