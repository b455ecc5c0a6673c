// Every difference between the interpreters we build for (CPython 2.7 and
// 3.6 to 3.13) lives here, so the rest of the code reads as if there were
// one Python.  Functions here run with the interpreter lock held.
#ifndef TALKWIRE_PYCOMPAT_PYCOMPAT_H
#define TALKWIRE_PYCOMPAT_PYCOMPAT_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>

#if PY_MAJOR_VERSION >= 3
#  define TW_PY3 1
#else
#  define TW_PY3 0
#endif

namespace talkwire {
namespace py {

// Text from C (names, URIs, status texts) as a native str.  Bytes that are
// not valid UTF-8 survive on Python 3 as surrogate escapes, so they
// round-trip back through text_arg() unchanged.
inline PyObject *text(const char *data, Py_ssize_t size)
{
#if TW_PY3
    return PyUnicode_DecodeUTF8(data, size, "surrogateescape");
#else
    return PyString_FromStringAndSize(data, size);
#endif
}

inline PyObject *text(const char *data)
{
    return text(data ? data : "", data ? static_cast<Py_ssize_t>(std::char_traits<char>::length(data)) : 0);
}

inline PyObject *text(const std::string &value)
{
    return text(value.data(), static_cast<Py_ssize_t>(value.size()));
}

// A native str argument as bytes for C.  Sets TypeError for a non-str and
// returns false; embedded NULs are left for the caller to judge.
inline bool text_arg(PyObject *object, std::string &out)
{
#if TW_PY3
    if (!PyUnicode_Check(object)) {
        PyErr_Format(PyExc_TypeError, "must be str, not %.100s", Py_TYPE(object)->tp_name);
        return false;
    }
    PyObject *bytes = PyUnicode_AsEncodedString(object, "utf-8", "surrogateescape");
    if (!bytes)
        return false;
    out.assign(PyBytes_AS_STRING(bytes), static_cast<size_t>(PyBytes_GET_SIZE(bytes)));
    Py_DECREF(bytes);
    return true;
#else
    if (PyString_Check(object)) {
        out.assign(PyString_AS_STRING(object), static_cast<size_t>(PyString_GET_SIZE(object)));
        return true;
    }
    if (PyUnicode_Check(object)) {
        PyObject *bytes = PyUnicode_AsUTF8String(object);
        if (!bytes)
            return false;
        out.assign(PyString_AS_STRING(bytes), static_cast<size_t>(PyString_GET_SIZE(bytes)));
        Py_DECREF(bytes);
        return true;
    }
    PyErr_Format(PyExc_TypeError, "must be string, not %.100s", Py_TYPE(object)->tp_name);
    return false;
#endif
}

inline PyObject *integer(long value)
{
#if TW_PY3
    return PyLong_FromLong(value);
#else
    return PyInt_FromLong(value);
#endif
}

inline bool is_text(PyObject *object)
{
#if TW_PY3
    return PyUnicode_Check(object);
#else
    return PyString_Check(object) || PyUnicode_Check(object);
#endif
}

// Reports the pending exception to the interpreter's unraisable-exception
// hook (sys.unraisablehook on 3.8+, stderr before) and clears it.
inline void write_unraisable(PyObject *context)
{
    PyErr_WriteUnraisable(context);
}

}  // namespace py
}  // namespace talkwire

// Module definition: TW_MODULE_INIT(name) opens the init function;
// tw_module_create() makes the module object; TW_MODULE_RETURN(m) ends it.
#if TW_PY3
#  define TW_MODULE_INIT(name) PyMODINIT_FUNC PyInit_##name(void)
#  define TW_MODULE_RETURN(module) return (module)
#else
#  define TW_MODULE_INIT(name) PyMODINIT_FUNC init##name(void)
#  define TW_MODULE_RETURN(module) do { (void)(module); return; } while (0)
#endif

#endif
