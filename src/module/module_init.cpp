// The module's only export: the interpreter's init function for _talkwire.
#include "bridge/message_window.h"
#include "module/connector_type.h"
#include "module/host_log_channel.h"

namespace {

bool add_connector(PyObject *module)
{
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
