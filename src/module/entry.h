// How a method entry turns C++ control flow into the interpreter's
// convention: a new reference, or null with an exception set.
#ifndef TALKWIRE_MODULE_ENTRY_H
#define TALKWIRE_MODULE_ENTRY_H

#include "bridge/errors.h"
#include "module/connector.h"

#include <new>

namespace talkwire {

// Runs `body(connector)`; a PyErrOccurred or an allocation failure becomes a
// null result with the error set.
template <class Body>
PyObject *method_entry(PyObject *self, Body &&body)
{
    try {
        return body(connector_of(self));
    } catch (const PyErrOccurred &) {
        return nullptr;
    } catch (const std::bad_alloc &) {
        return PyErr_NoMemory();
    }
}

inline PyObject *new_none()
{
    Py_INCREF(Py_None);
    return Py_None;
}

}  // namespace talkwire

#endif
