// A Python error taken out of the interpreter's error indicator, so that
// more work (which may call into Python) can run before it is raised again
// or dropped.  Interpreter lock held.
#ifndef TALKWIRE_PYCOMPAT_HELD_ERROR_H
#define TALKWIRE_PYCOMPAT_HELD_ERROR_H

#include "pycompat/pycompat.h"

#include <utility>

namespace talkwire {

class HeldError {
public:
    HeldError() = default;
    HeldError(HeldError &&other) noexcept { swap(other); }
    HeldError &operator=(HeldError &&other) noexcept
    {
        HeldError(std::move(other)).swap(*this);
        return *this;
    }
    HeldError(const HeldError &) = delete;
    HeldError &operator=(const HeldError &) = delete;
    ~HeldError()
    {
#if PY_VERSION_HEX >= 0x030C0000
        Py_XDECREF(value_);
#else
        Py_XDECREF(type_);
        Py_XDECREF(value_);
        Py_XDECREF(traceback_);
#endif
    }

    // Takes the error that is set, leaving none set.
    static HeldError take()
    {
        HeldError held;
#if PY_VERSION_HEX >= 0x030C0000
        held.value_ = PyErr_GetRaisedException();
#else
        PyErr_Fetch(&held.type_, &held.value_, &held.traceback_);
#endif
        return held;
    }

    explicit operator bool() const { return value_ != nullptr || type_ != nullptr; }

    // Sets the held error again; this object is empty afterwards.
    void restore()
    {
#if PY_VERSION_HEX >= 0x030C0000
        PyErr_SetRaisedException(std::exchange(value_, nullptr));
#else
        PyErr_Restore(std::exchange(type_, nullptr), std::exchange(value_, nullptr),
                      std::exchange(traceback_, nullptr));
#endif
    }

    void swap(HeldError &other) noexcept
    {
        std::swap(type_, other.type_);
        std::swap(value_, other.value_);
        std::swap(traceback_, other.traceback_);
    }

private:
    PyObject *type_ = nullptr;  // before 3.12 the error comes in three parts
    PyObject *value_ = nullptr;
    PyObject *traceback_ = nullptr;
};

}  // namespace talkwire

#endif
