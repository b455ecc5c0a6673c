// Run: the message pump of the calling thread.
#include "bridge/interpreter_wait.h"
#include "bridge/messages.h"
#include "bridge/pump_exit.h"
#include "module/entry.h"
#include "module/methods.h"
#include "twplatform/win32.h"

namespace talkwire {

// Owner thread.  Dispatches every message of the thread, for every window,
// until WM_QUIT, or until a callback raises KeyboardInterrupt or SystemExit
// (bridge/pump_exit.h), which it raises.  The interpreter lock is let go
// only while the thread has nothing to do, so other Python threads run
// while this one waits.  Ctrl-C (a signal handler that raises) ends that
// wait with the handler's exception, leaving every queued message queued
// for the next pump.
PyObject *Connector_Run(PyObject *self, PyObject *)
{
    PumpScope pump(self);
    MSG message;
    for (;;) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            switch (wait_with_interpreter_released(nullptr, TWPLAT_WAIT_FOR_MESSAGES, INFINITE)) {
            case WaitEnd::raised:
                return nullptr;
            case WaitEnd::failed:
                return raise_error(0, "%s", msg::kCouldNotWaitForMessages);
            default:
                continue;
            }
        }
        if (message.message == WM_QUIT)
            break;
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (pump.exit_requested())
            return pump.raise_parked();
    }
    return new_none();
}

}  // namespace talkwire
