// voicesdk.service(), service_state() and settle(): settings and state of the
// simulated voice service.
#ifndef VOICESDK_PYTHON_SERVICE_H
#define VOICESDK_PYTHON_SERVICE_H

#include "fields.h"

namespace voicesdk_py {

PyObject *service(PyObject *self, PyObject *args, PyObject *kwargs);
PyObject *service_state(PyObject *self, PyObject *args);
PyObject *settle(PyObject *self, PyObject *args, PyObject *kwargs);

}  // namespace voicesdk_py

#endif
