// twplat_wait: an event, the thread's queue, or a signal, whichever comes
// first, in one poll over doorbells.  Signals held by prepare are let in by
// ppoll for exactly the time it sleeps, so none slips between the caller's
// last look and the sleep.
#include "internal.h"
#include "twplatform/wait.h"

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <time.h>

#include <chrono>
#include <new>

namespace twplat {

const sigset_t &asynchronous_signals()
{
    static const sigset_t set = [] {
        sigset_t s;
        sigfillset(&s);
        // Raised by the processor in the faulting thread, or by abort(): never
        // held, or the thread could not go on.
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT})
            sigdelset(&s, sig);
        return s;
    }();
    return set;
}

namespace {

using Clock = std::chrono::steady_clock;

bool take_event(EventObject &event, DWORD tid)
{
    DWORD ignored;
    return event.try_acquire_locked(tid, &ignored);
}

// With the event's lock held.
void remove_poller(EventObject &event, Doorbell &waker)
{
    auto &list = event.pollers;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (*it == &waker) {
            list.erase(it);
            break;
        }
    }
    waker.quiet();
}

bool queue_holds_anything(MessageQueue &q)
{
    std::lock_guard<std::mutex> lock(q.m);
    return q.holds_anything_locked();
}

// One sleep in poll: -1 with errno, 0 at the time-out, else the count of
// ready descriptors.
int sleep_in_poll(struct pollfd *fds, nfds_t count, const twplat_wait_t *wait, Clock::time_point deadline,
                  bool forever)
{
    struct timespec timeout;
    if (!forever) {
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
        if (left.count() < 0)
            left = std::chrono::nanoseconds(0);
        timeout.tv_sec = static_cast<time_t>(left.count() / 1000000000);
        timeout.tv_nsec = static_cast<long>(left.count() % 1000000000);
    }
#ifdef TWPLAT_HAVE_PPOLL
    return ppoll(fds, count, forever ? nullptr : &timeout, wait->prepared ? &wait->unheld : nullptr);
#else
    (void)wait;
    int milliseconds = -1;
    if (!forever) {
        long long ms = static_cast<long long>(timeout.tv_sec) * 1000 + (timeout.tv_nsec + 999999) / 1000000;
        milliseconds = ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
    }
    return poll(fds, count, milliseconds);
#endif
}

DWORD wait_for(twplat_wait_t *wait, EventObject *event, MessageQueue *queue, DWORD milliseconds)
{
    ThreadState *ts = thread_state();
    if (!ts) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return TWPLAT_WAIT_FAILED;
    }
    const DWORD tid = ts->tid;
    const bool forever = milliseconds == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
    if (event && !ts->waker.open())
        return TWPLAT_WAIT_FAILED;

    for (;;) {
        if (event) {
            std::lock_guard<std::mutex> lock(event->m);
            if (take_event(*event, tid))
                return TWPLAT_WAIT_EVENT;
            try {
                event->pollers.push_back(&ts->waker);
            } catch (const std::bad_alloc &) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return TWPLAT_WAIT_FAILED;
            }
        }
        int ready = 1;
        int error = 0;
        if (!queue || !queue_holds_anything(*queue)) {
            struct pollfd fds[2];
            nfds_t count = 0;
            if (event)
                fds[count++] = {ts->waker.fd(), POLLIN, 0};
            if (queue)
                fds[count++] = {queue->ready.fd(), POLLIN, 0};
            ready = sleep_in_poll(fds, count, wait, deadline, forever);
            error = errno;
        }
        // In order of precedence: the event, the queue, a signal, the clock.
        if (event) {
            std::lock_guard<std::mutex> lock(event->m);
            remove_poller(*event, ts->waker);
            if (take_event(*event, tid))
                return TWPLAT_WAIT_EVENT;
        }
        if (queue && queue_holds_anything(*queue))
            return TWPLAT_WAIT_MESSAGES;
        if (ready < 0) {
            if (error == EINTR)
                return TWPLAT_WAIT_INTERRUPTED;
            SetLastError(error == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
            return TWPLAT_WAIT_FAILED;
        }
        if (ready == 0)
            return TWPLAT_WAIT_TIMEOUT;
        // Another thread took the event first: sleep again.
    }
}

void restore_mask(twplat_wait_t *wait)
{
    if (wait->prepared) {
        wait->prepared = 0;
        pthread_sigmask(SIG_SETMASK, &wait->unheld, nullptr);
    }
}

}  // namespace
}  // namespace twplat

using namespace twplat;

extern "C" {

void twplat_wait_prepare(twplat_wait_t *wait, HANDLE)
{
#ifdef TWPLAT_HAVE_PPOLL
    wait->prepared = pthread_sigmask(SIG_BLOCK, &asynchronous_signals(), &wait->unheld) == 0;
#else
    // Without ppoll a held signal could not end the sleep: nothing is held,
    // and one that lands between the caller's look and the sleep waits for
    // the next wake-up.
    wait->prepared = 0;
#endif
}

DWORD twplat_wait(twplat_wait_t *wait, HANDLE event_handle, DWORD flags, DWORD milliseconds)
{
    DWORD result = TWPLAT_WAIT_FAILED;
    std::shared_ptr<EventObject> event;
    MessageQueue *queue = nullptr;
    if (event_handle && !(event = event_of(event_handle))) {
        // last error set
    } else if ((flags & TWPLAT_WAIT_FOR_MESSAGES) && !(queue = current_queue())) {
        if (GetLastError() == ERROR_SUCCESS)
            SetLastError(ERROR_INVALID_THREAD_ID);
    } else {
        result = wait_for(wait, event.get(), queue, milliseconds);
    }
    restore_mask(wait);
    return result;
}

void twplat_wait_cancel(twplat_wait_t *wait) { restore_mask(wait); }

void twplat_hold_signals(twplat_held_signals_t *held)
{
    pthread_sigmask(SIG_BLOCK, &asynchronous_signals(), &held->previous);
}

void twplat_restore_signals(const twplat_held_signals_t *held)
{
    pthread_sigmask(SIG_SETMASK, &held->previous, nullptr);
}

int twplat_wakeup_fd(void)
{
    MessageQueue *q = current_queue();
    if (!q) {
        if (GetLastError() == ERROR_SUCCESS)
            SetLastError(ERROR_INVALID_THREAD_ID);
        return -1;
    }
    return q->ready.fd();
}

}  // extern "C"
