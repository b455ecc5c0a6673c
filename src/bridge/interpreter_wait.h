// The wait of a thread that runs Python: the platform's one wait
// (twplatform/wait.h), with the interpreter lock let go while it sleeps and
// Python's signal handlers run when a signal ends it.  Run's idle wait and
// the synchronous road both sleep here.
#ifndef TALKWIRE_BRIDGE_INTERPRETER_WAIT_H
#define TALKWIRE_BRIDGE_INTERPRETER_WAIT_H

#include "pycompat/pycompat.h"
#include "twplatform/wait.h"

namespace talkwire {

enum class WaitEnd {
    event,     // the event was set (and, auto-reset, taken)
    messages,  // the thread's queue holds something
    timeout,
    raised,    // a signal handler raised (Ctrl-C: KeyboardInterrupt); the error is set
    failed,    // the platform's wait failed; the last error says why
};

// Interpreter lock held on entry and on return; let go only while the
// thread sleeps.  Sleeps as twplat_wait does (`event` may be null; flags
// TWPLAT_WAIT_FOR_MESSAGES to wake for the queue), for at most
// `milliseconds` (INFINITE: no limit).  A signal ends the sleep; its Python
// handler runs on this thread, then the wait goes on unless the handler
// raised.  The caller keeps alive whatever the wait's outcome will touch:
// other threads run Python while it sleeps.
WaitEnd wait_with_interpreter_released(HANDLE event, DWORD flags, DWORD milliseconds);

}  // namespace talkwire

#endif
