// The module's only export: the interpreter's init function for _talkwire.
#include "bridge/message_window.h"
#include "module/connector_type.h"
#include "module/host_log_channel.h"

#include <cstdint>

namespace {

// Connectors are torn down holding the interpreter lock, on whatever thread
// lets go of them; the window procedure takes it too, whoever pumps.
void *enter_interpreter()
{
    return reinterpret_cast<void *>(static_cast<intptr_t>(PyGILState_Ensure()));
}

void leave_interpreter(void *state)
{
    PyGILState_Release(static_cast<PyGILState_STATE>(reinterpret_cast<intptr_t>(state)));
}

bool add_connector(PyObject *module)
{
    talkwire::set_dispatch_lock({enter_interpreter, leave_interpreter});
    // The host's log channel is optional: the result is not looked at.
    talkwire::attach_host_log_channel(talkwire::module_instance());
    PyTypeObject *type = talkwire::ready_connector_type();
    if (!type)
        return false;
    // The module's reference; the type's own first reference never goes.
    Py_INCREF(type);
    if (PyModule_AddObject(module, "Connector", reinterpret_cast<PyObject *>(type)) < 0) {
        Py_DECREF(type);
        return false;
    }
    return true;
}

talkwire::py::ModuleDefinition g_module{"_talkwire", nullptr, nullptr, add_connector};

}  // namespace

TW_MODULE_INIT(_talkwire, g_module)
