// Owned references to Python objects.
//
// Ownership rules: an OwnedRef holds exactly one strong reference and drops
// it when it goes out of scope.  OwnedRef::steal() adopts a reference that a
// C API call returned as new ("new reference"); OwnedRef::take() adds one to
// a borrowed pointer.  release() hands the reference to the caller (for
// returning to the interpreter).  Every function touching these runs with the
// interpreter lock held.
#ifndef TALKWIRE_PYCOMPAT_REF_H
#define TALKWIRE_PYCOMPAT_REF_H

#include <Python.h>

#include <cstddef>
#include <utility>

namespace talkwire {

class OwnedRef {
public:
    OwnedRef() = default;
    static OwnedRef steal(PyObject *object) { return OwnedRef(object); }
    static OwnedRef take(PyObject *object)
    {
        Py_XINCREF(object);
        return OwnedRef(object);
    }
    static OwnedRef none() { return take(Py_None); }

    OwnedRef(const OwnedRef &other) : object_(other.object_) { Py_XINCREF(object_); }
    OwnedRef(OwnedRef &&other) noexcept : object_(other.object_) { other.object_ = nullptr; }
    OwnedRef &operator=(OwnedRef other) noexcept
    {
        std::swap(object_, other.object_);
        return *this;
    }
    ~OwnedRef() { Py_XDECREF(object_); }

    PyObject *get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    PyObject *release()
    {
        PyObject *object = object_;
        object_ = nullptr;
        return object;
    }
    void reset() { OwnedRef().swap(*this); }
    void swap(OwnedRef &other) noexcept { std::swap(object_, other.object_); }

private:
    explicit OwnedRef(PyObject *object) : object_(object) {}
    PyObject *object_ = nullptr;
};

// The arguments of a method call by py::call_method(): the receiver
// (borrowed) and `count` new references dropped when this goes, any of them
// null when it could not be built.  A free slot before the receiver lets
// the callee use it instead of copying the arguments.
template <size_t count>
class OwnedArguments {
public:
    template <class... Built>
    explicit OwnedArguments(PyObject *receiver, Built *...built) : slots_{nullptr, receiver, built...}
    {
    }
    OwnedArguments(const OwnedArguments &) = delete;
    OwnedArguments &operator=(const OwnedArguments &) = delete;
    ~OwnedArguments()
    {
        for (size_t i = 2; i < count + 2; ++i)
            Py_XDECREF(slots_[i]);
    }

    // The receiver, then the arguments.
    PyObject **call() { return slots_ + 1; }

private:
    PyObject *slots_[count + 2];
};

}  // namespace talkwire

#endif
