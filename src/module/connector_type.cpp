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
    // Zero-filled and already tracked by the collector, which finds no
    // listener in it until the constructor has stored one.
    PyObject *self = type->tp_alloc(type, 0);
    if (!self)
        return nullptr;
    try {
        new (&connector_of(self)) Connector(self, listener);
    } catch (const std::bad_alloc &) {
        PyObject_GC_UnTrack(self);
        Py_TYPE(self)->tp_free(self);
        return PyErr_NoMemory();
    }
    return self;
}

// On whatever thread drops the last reference or collects the connector.
void connector_dealloc(PyObject *self)
{
    // The destructor runs Python code (the listener's release): the
    // collector must not meet a half-destroyed object meanwhile.
    PyObject_GC_UnTrack(self);
    connector_of(self).~Connector();
    Py_TYPE(self)->tp_free(self);
}

int connector_traverse(PyObject *self, visitproc visit, void *arg)
{
    return connector_of(self).visit_listener(visit, arg);
}

// A listener that holds its connector forms a cycle: the collector breaks
// it here, and the connector's deallocation then tears it down.
int connector_clear(PyObject *self)
{
    connector_of(self).clear_listener();
    return 0;
}

}  // namespace

PyTypeObject *ready_connector_type()
{
    PyTypeObject &type = g_connector_type;
    if (!(type.tp_flags & Py_TPFLAGS_READY)) {
        type.tp_name = "_talkwire.Connector";
        type.tp_basicsize = sizeof(ConnectorObject);
        type.tp_itemsize = 0;
        // Not subclassable; part of cyclic garbage collection.
        type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
        type.tp_doc = "";
        type.tp_new = connector_new;
        type.tp_dealloc = connector_dealloc;
        type.tp_traverse = connector_traverse;
        type.tp_clear = connector_clear;
        type.tp_free = PyObject_GC_Del;
        type.tp_methods = connector_methods();
        if (PyType_Ready(&type) < 0)
            return nullptr;
    }
    return &type;
}

}  // namespace talkwire
