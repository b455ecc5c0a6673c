#include "module/connector_type.h"

#include "module/args.h"
#include "module/connector.h"
#include "module/methods.h"

#include <new>

namespace talkwire {
namespace {

PyTypeObject g_connector_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

PyObject *connector_new(PyTypeObject *type, PyObject *args, PyObject *)
{
    PyObject *listener = nullptr;
    // Parsed before anything is built, so a bad call leaves nothing behind.
    if (!PyArg_ParseTuple(args, "O:Connector", &listener))
        return nullptr;
    PyObject *self = type->tp_alloc(type, 0);
    if (!self)
        return nullptr;
    try {
        new (&connector_of(self)) Connector(self, listener);
    } catch (const std::bad_alloc &) {
        Py_TYPE(self)->tp_free(self);
        return PyErr_NoMemory();
    }
    return self;
}

void connector_dealloc(PyObject *self)
{
    connector_of(self).~Connector();
    Py_TYPE(self)->tp_free(self);
}

}  // namespace

PyTypeObject *ready_connector_type()
{
    PyTypeObject &type = g_connector_type;
    if (!(type.tp_flags & Py_TPFLAGS_READY)) {
        type.tp_name = "_talkwire.Connector";
        type.tp_basicsize = sizeof(ConnectorObject);
        type.tp_itemsize = 0;
        // Neither subclassable nor part of cyclic garbage collection.
        type.tp_flags = Py_TPFLAGS_DEFAULT;
        type.tp_doc = "";
        type.tp_new = connector_new;
        type.tp_dealloc = connector_dealloc;
        type.tp_methods = connector_methods();
        if (PyType_Ready(&type) < 0)
            return nullptr;
    }
    return &type;
}

}  // namespace talkwire
