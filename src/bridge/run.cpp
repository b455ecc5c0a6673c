// Run: the message pump of the calling thread.
#include "bridge/pump_exit.h"
#include "module/entry.h"
#include "module/methods.h"
#include "twplatform/win32.h"

namespace talkwire {

// Owner thread.  Dispatches every message of the thread, for every window,
// until WM_QUIT, or until a callback raises KeyboardInterrupt or SystemExit
// (bridge/pump_exit.h), which it raises.  The interpreter lock is let go
// only while the thread has nothing to do, so other Python threads run
// while this one waits.
PyObject *Connector_Run(PyObject *self, PyObject *)
{
    PumpScope pump(self);
    MSG message;
    for (;;) {
        BOOL got = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
        if (!got) {
            Py_BEGIN_ALLOW_THREADS
            got = GetMessageA(&message, nullptr, 0, 0);
            Py_END_ALLOW_THREADS
            if (got == 0 || got == -1)
                break;
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
