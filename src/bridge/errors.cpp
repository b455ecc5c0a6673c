#include "bridge/errors.h"

#include "pycompat/windows_error.h"

#include <cstdarg>
#include <cstdio>

namespace talkwire {

PyObject *raise_error(int32_t code, const char *format, ...)
{
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);  // truncates at 255
    va_end(args);
    py::set_windows_error(code, message);
    return nullptr;
}

PyObject *raise_runtime_error(const char *message)
{
    PyErr_SetString(PyExc_RuntimeError, message);
    return nullptr;
}

void throw_error(int32_t code, const char *message)
{
    raise_error(code, "%s", message);
    throw PyErrOccurred();
}

}  // namespace talkwire
