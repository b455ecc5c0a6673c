// pump(timeout=0): the non-blocking message pump a host calls from its own
// loop.
#ifndef TALKWIRE_LOOP_PUMP_H
#define TALKWIRE_LOOP_PUMP_H

#include "pycompat/pycompat.h"

namespace talkwire {

// Calling thread, interpreter lock held (let go while it waits).
PyObject *loop_pump(PyObject *module, PyObject *args, PyObject *kwargs);
extern const char kPumpDoc[];

}  // namespace talkwire

#endif
