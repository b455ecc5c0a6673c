// wakeup_fd(): the calling thread's wake-up descriptor (not on Windows,
// where a host's loop waits for messages with the system's own calls).
#ifndef TALKWIRE_LOOP_WAKEUP_FD_H
#define TALKWIRE_LOOP_WAKEUP_FD_H

#include "pycompat/pycompat.h"

#ifndef _WIN32
namespace talkwire {

// Calling thread, interpreter lock held.
PyObject *loop_wakeup_fd(PyObject *module, PyObject *unused);
extern const char kWakeupFdDoc[];

}  // namespace talkwire
#endif

#endif
