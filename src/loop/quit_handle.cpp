#include "loop/quit_handle.h"

#include "bridge/quit_target.h"

#include <cstdio>
#include <new>

namespace talkwire {
namespace {

struct QuitHandleObject {
    PyObject_HEAD
    QuitTarget target;
};

QuitTarget &target_of(PyObject *self) { return reinterpret_cast<QuitHandleObject *>(self)->target; }

PyTypeObject g_quit_handle_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

PyObject *quit_handle_new(PyTypeObject *type, PyObject *args, PyObject *kwargs)
{
    static const char *keywords[] = {nullptr};
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, ":QuitHandle", const_cast<char **>(keywords)))
        return nullptr;
    PyObject *self = type->tp_alloc(type, 0);
    if (!self)
        return nullptr;
    new (&target_of(self)) QuitTarget();
    return self;
}

void quit_handle_dealloc(PyObject *self)
{
    target_of(self).~QuitTarget();
    Py_TYPE(self)->tp_free(self);
}

// Any thread, a signal handler included: a post is a short, non-blocking
// call, so the lock is kept.
PyObject *quit_handle_quit(PyObject *self, PyObject *)
{
    return PyBool_FromLong(target_of(self).post_quit());
}

PyObject *quit_handle_thread_id(PyObject *self, void *)
{
    return py::integer(static_cast<long>(target_of(self).thread_id()));
}

PyObject *quit_handle_repr(PyObject *self)
{
    char text[64];
    snprintf(text, sizeof text, "<QuitHandle of thread %lu>", static_cast<unsigned long>(target_of(self).thread_id()));
    return py::text(text);
}

PyMethodDef g_methods[] = {
    {"quit", quit_handle_quit, METH_NOARGS,
     "quit() -> bool\n\n"
     "Posts a quit to the handle's thread: its Run returns once it has\n"
     "dispatched what was queued before.  Callable from any thread and from\n"
     "a signal handler.  Each quit ends one Run.  False when the thread has\n"
     "ended."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef g_getset[] = {
    {const_cast<char *>("thread_id"), quit_handle_thread_id, nullptr,
     const_cast<char *>("The platform's id of the thread whose Run quit() ends."), nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyTypeObject *ready_quit_handle_type()
{
    PyTypeObject &type = g_quit_handle_type;
    if (!(type.tp_flags & Py_TPFLAGS_READY)) {
        type.tp_name = "talkwire.QuitHandle";
        type.tp_basicsize = sizeof(QuitHandleObject);
        type.tp_flags = Py_TPFLAGS_DEFAULT;
        type.tp_doc =
            "QuitHandle()\n\n"
            "Taken on the thread that runs the message pump (Connector.Run);\n"
            "its quit() ends that thread's Run from that thread, another\n"
            "thread or a signal handler.";
        type.tp_new = quit_handle_new;
        type.tp_dealloc = quit_handle_dealloc;
        type.tp_repr = quit_handle_repr;
        type.tp_methods = g_methods;
        type.tp_getset = g_getset;
        if (PyType_Ready(&type) < 0)
            return nullptr;
    }
    return &type;
}

}  // namespace talkwire
