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

#if TW_PY3
PyModuleDef g_module = {PyModuleDef_HEAD_INIT, "_talkwire_loop", kModuleDoc, -1, g_functions};
#endif

PyObject *create_module()
{
#if TW_PY3
    PyObject *module = PyModule_Create(&g_module);
#else
    PyObject *module = Py_InitModule3("_talkwire_loop", g_functions, kModuleDoc);
#endif
    if (!module)
        return nullptr;
    PyTypeObject *type = talkwire::ready_quit_handle_type();
    if (type) {
        Py_INCREF(type);
        if (PyModule_AddObject(module, "QuitHandle", reinterpret_cast<PyObject *>(type)) == 0)
            return module;
        Py_DECREF(type);
    }
#if TW_PY3
    Py_DECREF(module);
#endif
    return nullptr;
}

}  // namespace

TW_MODULE_EXPORTS_BEGIN
TW_MODULE_INIT(_talkwire_loop)
{
    PyObject *module = create_module();
    TW_MODULE_RETURN(module);
}
TW_MODULE_EXPORTS_END
