#include "bridge/errors.h"

#include "pycompat/ref.h"
#include "twplatform/win32.h"

#include <cstdarg>
#include <cstdio>

namespace talkwire {
namespace {

#ifndef _WIN32
// OSError(code, text) with the message as filename.  Built attribute by
// attribute: the constructor would turn codes such as 2 into errno
// subclasses (FileNotFoundError), which a Windows code is not.
void set_windows_error(int32_t code, const char *message)
{
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    if (length == 0)
        std::snprintf(text, sizeof text, "Unknown error 0x%08X", static_cast<unsigned>(code));

    OwnedRef error = OwnedRef::steal(PyObject_CallObject(PyExc_OSError, nullptr));
    OwnedRef number = OwnedRef::steal(py::integer(code));
    OwnedRef strerror = OwnedRef::steal(py::text(text));
    OwnedRef filename = OwnedRef::steal(py::text(message));
    if (!error || !number || !strerror || !filename)
        return;
    OwnedRef args = OwnedRef::steal(PyTuple_Pack(2, number.get(), strerror.get()));
    if (!args || PyObject_SetAttrString(error.get(), "errno", number.get()) < 0 ||
        PyObject_SetAttrString(error.get(), "strerror", strerror.get()) < 0 ||
        PyObject_SetAttrString(error.get(), "filename", filename.get()) < 0 ||
        PyObject_SetAttrString(error.get(), "args", args.get()) < 0)
        return;
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(error.get())), error.get());
}
#endif

}  // namespace

PyObject *raise_error(int32_t code, const char *format, ...)
{
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);  // truncates at 255
    va_end(args);
#ifdef _WIN32
    PyErr_SetFromWindowsErrWithFilename(code, message);
#else
    set_windows_error(code != 0 ? code : static_cast<int32_t>(GetLastError()), message);
#endif
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
