/*
 * One wait for a thread that pumps messages: for an event, for its own
 * message queue, or both, that a signal can end.  Not a Win32 call: on
 * Windows it is MsgWaitForMultipleObjectsEx over the event and an
 * interrupt event the caller names; elsewhere it is ppoll() (poll() where
 * there is no ppoll) over descriptors that stand for the event and the
 * queue, and a signal handler that runs on the waiting thread ends it.
 *
 * A wait has two steps, so that the caller can look at its own record of
 * signals in between without losing one that arrives meanwhile:
 *
 *     twplat_wait_t wait;
 *     twplat_wait_prepare(&wait, interrupt);
 *     if (<the caller's handlers have something to report>)
 *         twplat_wait_cancel(&wait);
 *     else
 *         result = twplat_wait(&wait, event, TWPLAT_WAIT_FOR_MESSAGES, timeout);
 *
 * From twplat_wait_prepare until the wait returns or is cancelled, the
 * thread's asynchronous signals are held pending (off Windows), and the
 * wait lets them in again for exactly the time it sleeps: a signal sent
 * after the caller looked ends the wait with TWPLAT_WAIT_INTERRUPTED,
 * whether it came before the sleep began or during it.  On Windows prepare
 * resets `interrupt`, and the wait ends when it is set.  The caller may let
 * go of its own locks between the two steps.
 *
 * Nothing here ever wakes an idle thread on its own: the wait ends only
 * for one of the reasons below, or at its time-out.
 */
#ifndef TWPLATFORM_WAIT_H
#define TWPLATFORM_WAIT_H

#include "twplatform/win32.h"

#ifdef _WIN32
#  define TWPLATFORM_WAIT_API
#else
#  include <signal.h>
#  define TWPLATFORM_WAIT_API TWPLATFORM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What ended a wait (twplat_wait's result). */
enum twplat_wait_result {
    TWPLAT_WAIT_EVENT = 0,     /* the event was set (an auto-reset event is taken) */
    TWPLAT_WAIT_MESSAGES,      /* the thread's queue holds a posted message or a quit */
    TWPLAT_WAIT_INTERRUPTED,   /* a signal: a handler ran on this thread, or `interrupt` was set */
    TWPLAT_WAIT_TIMEOUT,
    TWPLAT_WAIT_FAILED         /* the last error says why */
};

/* twplat_wait's flags. */
#define TWPLAT_WAIT_FOR_MESSAGES 0x1u

/* One wait in progress, on the caller's stack.  Owned by the thread that
 * prepared it; its fields are the platform's. */
typedef struct twplat_wait {
#ifdef _WIN32
    HANDLE interrupt;
#else
    sigset_t unheld;  /* the thread's signal mask before prepare */
#endif
    int prepared;
} twplat_wait_t;

/* Calling thread.  Starts a wait: holds the thread's asynchronous signals
 * pending (off Windows; `interrupt` is ignored there), or resets
 * `interrupt`, a manual-reset event that the host's signal handling sets
 * (on Windows; null: no interrupt).  Follow it with twplat_wait or
 * twplat_wait_cancel on the same thread. */
TWPLATFORM_WAIT_API void twplat_wait_prepare(twplat_wait_t *wait, HANDLE interrupt);

/* Calling thread, after twplat_wait_prepare.  Sleeps until, in this order
 * of precedence:
 *  - `event` (null: none) is set: TWPLAT_WAIT_EVENT, having taken it if it
 *    is an auto-reset event;
 *  - with TWPLAT_WAIT_FOR_MESSAGES, the calling thread's message queue holds
 *    anything (a posted message or a quit): TWPLAT_WAIT_MESSAGES, taking
 *    nothing from the queue;
 *  - a signal is handled on this thread, or `interrupt` is set:
 *    TWPLAT_WAIT_INTERRUPTED;
 *  - `milliseconds` pass (INFINITE: never): TWPLAT_WAIT_TIMEOUT.
 * An event already set or a queue already holding something ends it at
 * once, without sleeping.  The thread's signal mask is as before prepare
 * when it returns. */
TWPLATFORM_WAIT_API DWORD twplat_wait(twplat_wait_t *wait, HANDLE event, DWORD flags, DWORD milliseconds);

/* Calling thread: ends a prepared wait without waiting.  Signals held since
 * prepare are handled as this returns. */
TWPLATFORM_WAIT_API void twplat_wait_cancel(twplat_wait_t *wait);

/* Holding signals in threads.  Asynchronous signals belong to the thread
 * that waits for them (the main thread of a Python program): a thread
 * created while they are held starts with them held, and keeps them so.
 * twplat_hold_signals holds them on the calling thread and remembers how
 * they were in `held`; twplat_restore_signals puts them back.  Use them
 * around a library call that may start threads of its own.  CreateThread
 * starts every thread with them held.  Nothing on Windows, where signals
 * are not delivered to arbitrary threads. */
typedef struct twplat_held_signals {
#ifdef _WIN32
    int unused;
#else
    sigset_t previous;
#endif
} twplat_held_signals_t;

TWPLATFORM_WAIT_API void twplat_hold_signals(twplat_held_signals_t *held);
TWPLATFORM_WAIT_API void twplat_restore_signals(const twplat_held_signals_t *held);

#ifndef _WIN32
/* The calling thread's wake-up descriptor, for a host's own loop (select,
 * poll, an event loop's readers).  It is readable exactly while the calling
 * thread's message queue holds anything, a posted message or a quit: it
 * becomes readable when something is posted to an empty queue and stays
 * readable (level-triggered, never a one-time edge) until the queue's owner
 * takes the last message out with GetMessageA or PeekMessageA(PM_REMOVE).
 * Waiting on it never clears it: only the pump does.
 *
 * It belongs to the calling thread's queue: the same number on every call
 * from that thread, valid until the thread exits (then closed).  Any thread
 * may wait on it; only the platform reads, writes or closes it, so never
 * read from it (that would make it lie) or close it.  -1 with the last
 * error set when the queue cannot be made. */
TWPLATFORM_API int twplat_wakeup_fd(void);
#endif

#ifdef __cplusplus
}
#endif

#endif
