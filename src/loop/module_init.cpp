// _talkwire_loop: what a host needs to run talkwire inside its own loop (the
// non-blocking pump, the thread's wake-up descriptor, the quit handle).  A
// companion of _talkwire on the same platform library; the talkwire package
// is its public face.
#include "loop/pump.h"
#include "loop/quit_handle.h"
#include "loop/wakeup_fd.h"

namespace {

PyMethodDef g_functions[] = {
    {"pump", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(talkwire::loop_pump)),
     METH_VARARGS | METH_KEYWORDS, talkwire::kPumpDoc},
#ifndef _WIN32
    {"wakeup_fd", talkwire::loop_wakeup_fd, METH_NOARGS, talkwire::kWakeupFdDoc},
#endif
    {nullptr, nullptr, 0, nullptr},
};

const char kModuleDoc[] = "The host-loop half of talkwire: use it through the talkwire package.";

bool add_quit_handle(PyObject *module)
{
    PyTypeObject *type = talkwire::ready_quit_handle_type();
    if (!type)
        return false;
    Py_INCREF(type);
    if (PyModule_AddObject(module, "QuitHandle", reinterpret_cast<PyObject *>(type)) < 0) {
        Py_DECREF(type);
        return false;
    }
    return true;
}

talkwire::py::ModuleDefinition g_module{"_talkwire_loop", kModuleDoc, g_functions, add_quit_handle};

}  // namespace

TW_MODULE_INIT(_talkwire_loop, g_module)
