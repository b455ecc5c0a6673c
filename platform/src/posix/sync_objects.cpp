// Events, mutexes and WaitForSingleObject.
#include "internal.h"

#include <algorithm>
#include <chrono>

namespace twplat {

bool EventObject::try_acquire_locked(DWORD, DWORD *result)
{
    if (!signaled)
        return false;
    if (!manual_reset)
        signaled = false;  // an auto-reset event releases one waiter
    *result = WAIT_OBJECT_0;
    return true;
}

std::shared_ptr<EventObject> event_of(HANDLE h)
{
    return std::static_pointer_cast<EventObject>(handle_object_of(h, KType::event));
}

bool MutexObject::try_acquire_locked(DWORD tid, DWORD *result)
{
    if (owner == tid) {
        ++count;
        *result = WAIT_OBJECT_0;
        return true;
    }
    if (owner != 0)
        return false;
    owner = tid;
    count = 1;
    *result = abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    abandoned = false;
    return true;
}

void mutex_note_owned(const std::shared_ptr<MutexObject> &m)
{
    ThreadState *ts = thread_state();
    if (!ts)
        return;
    auto &owned = ts->owned_mutexes;
    if (std::find(owned.begin(), owned.end(), m) == owned.end())
        owned.push_back(m);
}

// A mutex whose owner exits is handed to the next waiter as abandoned.
void mutexes_thread_exit(ThreadState &ts)
{
    for (const std::shared_ptr<MutexObject> &m : ts.owned_mutexes) {
        {
            std::lock_guard<std::mutex> lock(m->m);
            if (m->owner != ts.tid)
                continue;
            m->owner = 0;
            m->count = 0;
            m->abandoned = true;
        }
        m->cv.notify_all();
    }
    ts.owned_mutexes.clear();
}

}  // namespace twplat

using namespace twplat;

extern "C" {

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCSTR name)
{
    if (fault_fires(twplat_fault_create_event))
        return nullptr;
    return create_object(name, KType::event, [&]() -> std::shared_ptr<KObject> {
        return std::make_shared<EventObject>(manual_reset != FALSE, initial_state != FALSE);
    });
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR name) { return open_object(name, KType::event); }

BOOL SetEvent(HANDLE h)
{
    std::shared_ptr<EventObject> e = event_of(h);
    if (!e)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(e->m);
        e->signaled = true;
        // A poller leaves the list before its thread can go: rung under the lock.
        for (Doorbell *poller : e->pollers)
            poller->ring();
    }
    // All waiters re-check; for auto-reset only the first one wins.
    e->cv.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE h)
{
    std::shared_ptr<EventObject> e = event_of(h);
    if (!e)
        return FALSE;
    std::lock_guard<std::mutex> lock(e->m);
    e->signaled = false;
    return TRUE;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initial_owner, LPCSTR name)
{
    std::shared_ptr<MutexObject> created;
    bool existed = false;
    HANDLE h = create_object(
        name, KType::mutex,
        [&]() -> std::shared_ptr<KObject> {
            created = std::make_shared<MutexObject>();
            if (initial_owner) {
                created->owner = GetCurrentThreadId();
                created->count = 1;
            }
            return created;
        },
        &existed);
    // Ownership is only granted to the creator, never when opening an existing one.
    if (h && !existed && initial_owner) {
        DWORD error = GetLastError();
        mutex_note_owned(created);
        SetLastError(error);
    }
    return h;
}

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name) { return open_object(name, KType::mutex); }

BOOL ReleaseMutex(HANDLE h)
{
    auto m = std::static_pointer_cast<MutexObject>(handle_object_of(h, KType::mutex));
    if (!m)
        return FALSE;
    DWORD tid = GetCurrentThreadId();
    {
        std::lock_guard<std::mutex> lock(m->m);
        if (m->owner != tid) {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
        if (--m->count != 0)
            return TRUE;
        m->owner = 0;
    }
    m->cv.notify_all();
    if (ThreadState *ts = thread_state()) {
        auto &owned = ts->owned_mutexes;
        owned.erase(std::remove(owned.begin(), owned.end(), m), owned.end());
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds)
{
    std::shared_ptr<KObject> obj = handle_object(h);
    if (!obj || obj->type == KType::mapping) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    auto *w = static_cast<Waitable *>(obj.get());
    const DWORD tid = GetCurrentThreadId();
    DWORD result = WAIT_FAILED;
    {
        std::unique_lock<std::mutex> lock(w->m);
        auto acquired = [&] { return w->try_acquire_locked(tid, &result); };
        if (milliseconds == INFINITE) {
            w->cv.wait(lock, acquired);
        } else {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
            if (!w->cv.wait_until(lock, deadline, acquired))
                return WAIT_TIMEOUT;
        }
    }
    if (obj->type == KType::mutex)
        mutex_note_owned(std::static_pointer_cast<MutexObject>(obj));
    return result;
}

}  // extern "C"

