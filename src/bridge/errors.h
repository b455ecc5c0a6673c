// The one way failures reach Python.  Owner thread, interpreter lock held.
#ifndef TALKWIRE_BRIDGE_ERRORS_H
#define TALKWIRE_BRIDGE_ERRORS_H

#include "pycompat/pycompat.h"

#include <cstdint>

namespace talkwire {

// Thrown (never across the interpreter) when a Python error is already set;
// method entries and handlers catch it.
struct PyErrOccurred {};

// A signal handler raised while the call slept (Ctrl-C: KeyboardInterrupt).
// It ends the call as it is: no later step may replace it.
struct SignalRaised : PyErrOccurred {};

// Raises the Windows error exception (OSError elsewhere) carrying the code,
// the system's text for it and the message (at most 255 characters), and
// returns null.  A code of 0 stands for the thread's last error.
PyObject *raise_error(int32_t code, const char *format, ...);

// Raises RuntimeError with `message` and returns null: misuse that no
// error code describes.
PyObject *raise_runtime_error(const char *message);

// As raise_error, then throws PyErrOccurred.
[[noreturn]] void throw_error(int32_t code, const char *message);

// Throws PyErrOccurred when `object` is null (a Python error is set).
inline PyObject *check(PyObject *object)
{
    if (!object)
        throw PyErrOccurred();
    return object;
}

}  // namespace talkwire

#endif
