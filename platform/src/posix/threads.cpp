// Thread identity, per-thread platform state and CreateThread.
#include "internal.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>

namespace twplat {
namespace {

std::atomic<DWORD> g_next_thread_id{1};

thread_local DWORD tls_thread_id = 0;
thread_local ThreadState *tls_state = nullptr;
thread_local bool tls_exited = false;

// Its destructor is the exit hook of threads the platform did not start.
struct ExitHook {
    bool armed = false;
    ~ExitHook() { thread_cleanup(); }
};
thread_local ExitHook tls_exit_hook;

struct ThreadObject final : Waitable {
    ThreadObject() : Waitable(KType::thread) {}

    bool try_acquire_locked(DWORD, DWORD *result) override
    {
        *result = WAIT_OBJECT_0;
        return finished;
    }

    DWORD tid = 0;
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID param = nullptr;
    bool finished = false;
    DWORD exit_code = STILL_ACTIVE;
};

void *thread_main(void *arg)
{
    std::shared_ptr<ThreadObject> self = std::move(*static_cast<std::shared_ptr<ThreadObject> *>(arg));
    delete static_cast<std::shared_ptr<ThreadObject> *>(arg);
    adopt_thread_id(self->tid);
    DWORD code = self->start(self->param);
    // Windows, queue and mutexes go before the handle signals, so a waiter
    // sees the thread completely gone.
    thread_cleanup();
    {
        std::lock_guard<std::mutex> lock(self->m);
        self->exit_code = code;
        self->finished = true;
    }
    self->cv.notify_all();
    return nullptr;
}

}  // namespace

DWORD allocate_thread_id() { return g_next_thread_id.fetch_add(1, std::memory_order_relaxed); }

void adopt_thread_id(DWORD tid) { tls_thread_id = tid; }

ThreadState *thread_state()
{
    if (tls_state || tls_exited)
        return tls_state;
    tls_exit_hook.armed = true;  // first use registers the destructor
    tls_state = new ThreadState;
    tls_state->tid = GetCurrentThreadId();
    return tls_state;
}

void thread_cleanup()
{
    ThreadState *ts = tls_state;
    tls_state = nullptr;
    tls_exited = true;
    if (!ts)
        return;
    windows_thread_exit(*ts);
    queue_thread_exit(*ts);
    mutexes_thread_exit(*ts);
    delete ts;
}

}  // namespace twplat

using namespace twplat;

extern "C" {

DWORD GetCurrentThreadId(void)
{
    if (tls_thread_id == 0)
        tls_thread_id = allocate_thread_id();
    return tls_thread_id;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, size_t stack_size, LPTHREAD_START_ROUTINE start,
                    LPVOID param, DWORD flags, DWORD *thread_id)
{
    if (fault_fires(twplat_fault_create_thread))
        return nullptr;
    // Suspended creation would need ResumeThread, which the product never calls.
    if (!start || (flags & CREATE_SUSPENDED)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    thread->tid = allocate_thread_id();
    thread->start = start;
    thread->param = param;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    // Win32 sizes are a commit hint on top of a large reservation: never
    // shrink below the default stack, only grow.
    size_t default_stack = 0;
    pthread_attr_getstacksize(&attr, &default_stack);
    if (stack_size > default_stack)
        pthread_attr_setstacksize(&attr, stack_size);

    HANDLE h = handle_open(thread);
    if (!h) {
        pthread_attr_destroy(&attr);
        return nullptr;
    }
    auto *boot = new std::shared_ptr<ThreadObject>(thread);
    // The new thread starts with asynchronous signals held, and keeps them
    // so: they are for the thread that waits for them (a Python program's
    // main thread), as a Windows thread never sees them.
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &asynchronous_signals(), &previous);
    pthread_t pt;
    int rc = pthread_create(&pt, &attr, thread_main, boot);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete boot;
        CloseHandle(h);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (thread_id)
        *thread_id = thread->tid;
    return h;
}

BOOL GetExitCodeThread(HANDLE h, DWORD *exit_code)
{
    auto thread = std::static_pointer_cast<ThreadObject>(handle_object_of(h, KType::thread));
    if (!thread)
        return FALSE;
    if (!exit_code) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(thread->m);
    *exit_code = thread->exit_code;
    return TRUE;
}

}  // extern "C"
