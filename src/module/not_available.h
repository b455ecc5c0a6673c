// Entries whose subsystem has not landed yet raise E_NOTIMPL.
#ifndef TALKWIRE_MODULE_NOT_AVAILABLE_H
#define TALKWIRE_MODULE_NOT_AVAILABLE_H

#include "bridge/error_codes.h"
#include "bridge/errors.h"
#include "module/methods.h"

#define TALKWIRE_NOT_AVAILABLE(name)                                                \
    PyObject *Connector_##name(PyObject *, PyObject *)                              \
    {                                                                               \
        return raise_error(kErrorNotImplemented, "%s is not available yet", #name); \
    }

#endif
