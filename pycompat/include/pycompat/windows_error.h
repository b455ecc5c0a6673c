// The exception for a Windows error code: WindowsError on Windows, built by
// the interpreter; elsewhere an OSError with the same fields.  Interpreter
// lock held.
#ifndef TALKWIRE_PYCOMPAT_WINDOWS_ERROR_H
#define TALKWIRE_PYCOMPAT_WINDOWS_ERROR_H

#include "pycompat/pycompat.h"
#include "pycompat/ref.h"
#include "twplatform/win32.h"

#include <cstdint>
#include <cstdio>

namespace talkwire {
namespace py {

// Sets the error for `code` (0: the thread's last error), with the
// system's text for it and `message` as the filename.
inline void set_windows_error(int32_t code, const char *message)
{
#ifdef _WIN32
    PyErr_SetFromWindowsErrWithFilename(code, message);
#else
    if (code == 0)
        code = static_cast<int32_t>(GetLastError());
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    if (length == 0)
        std::snprintf(text, sizeof text, "Unknown error 0x%08X", static_cast<unsigned>(code));

    // Built attribute by attribute: the constructor would turn codes such as
    // 2 into errno subclasses (FileNotFoundError), which a Windows code is not.
    OwnedRef error = OwnedRef::steal(PyObject_CallObject(PyExc_OSError, nullptr));
    OwnedRef number = OwnedRef::steal(integer(code));
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
#endif
}

}  // namespace py
}  // namespace talkwire

#endif
