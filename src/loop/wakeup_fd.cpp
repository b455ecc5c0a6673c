#include "loop/wakeup_fd.h"

#ifndef _WIN32
#include "bridge/errors.h"
#include "twplatform/wait.h"

namespace talkwire {

const char kWakeupFdDoc[] =
    "wakeup_fd() -> int\n\n"
    "The calling thread's wake-up descriptor: readable exactly while the\n"
    "thread has window messages (or a quit) waiting, until pump() takes\n"
    "them.  Wait on it; never read from it or close it.";

PyObject *loop_wakeup_fd(PyObject *, PyObject *)
{
    int fd = twplat_wakeup_fd();
    if (fd < 0)
        return raise_error(0, "No wake-up descriptor for this thread");
    return py::integer(fd);
}

}  // namespace talkwire
#endif
