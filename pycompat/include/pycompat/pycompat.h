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

// 3.13 moved these two out of the public headers; the interpreter still
// exports them (its own extension modules use them).
#if defined(MS_WINDOWS) && PY_VERSION_HEX >= 0x030D0000
extern "C" {
PyAPI_FUNC(int) _PyOS_IsMainThread(void);
PyAPI_FUNC(void *) _PyOS_SigintEvent(void);
}
#endif

namespace talkwire {
namespace py {

// A method taking positional arguments, adapted to the interpreter's
// convention: `Entry(self, Args)` sees them as an `Args` view, built on 3.7+
// from the interpreter's own array (METH_FASTCALL: no tuple per call) and
// before that from the tuple the interpreter passes.  `Args` has a
// constructor from (items, count) and `Args::of_tuple(tuple)`.
#if PY_VERSION_HEX >= 0x03070000
constexpr int kPositionalStyle = METH_FASTCALL;
template <class Args, PyObject *(*Entry)(PyObject *, Args)>
PyObject *positional_method(PyObject *self, PyObject *const *items, Py_ssize_t count)
{
    return Entry(self, Args(items, count));
}
#else
constexpr int kPositionalStyle = METH_VARARGS;
template <class Args, PyObject *(*Entry)(PyObject *, Args)>
PyObject *positional_method(PyObject *self, PyObject *tuple)
{
    return Entry(self, Args::of_tuple(tuple));
}
#endif

// Whether the caller of a method holds its own reference to the object the
// method is called on for the whole call (a bound method, the argument
// tuple, or the evaluation stack): true for every interpreter built for
// here.  Later interpreters may let the stack borrow it.
constexpr bool kCallHoldsSelf = PY_VERSION_HEX < 0x030E0000;

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

// An interned native str (a new reference), for names looked up again
// and again; null with the error set.
inline PyObject *interned_text(const char *name)
{
#if TW_PY3
    return PyUnicode_InternFromString(name);
#else
    return PyString_InternFromString(name);
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
    // ASCII text is its own UTF-8: no encoded copy needed.
    if (PyUnicode_IS_COMPACT_ASCII(object)) {
        out.assign(static_cast<const char *>(PyUnicode_DATA(object)),
                   static_cast<size_t>(PyUnicode_GET_LENGTH(object)));
        return true;
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

// The parser's error for text with an embedded NUL, argument `position`
// (from 1) of `method` (null: a format without a name): 2.7's TypeError,
// word for word, or 3.x's ValueError, which here names the argument too.
inline void set_embedded_nul_error(const char *method, int position, PyObject *object)
{
    const char *call = method ? "() " : "";
#if TW_PY3
    (void)object;
    PyErr_Format(PyExc_ValueError, "%.200s%sargument %d: embedded null character", method ? method : "", call,
                 position);
#else
    PyErr_Format(PyExc_TypeError, "%.200s%sargument %d must be string without null bytes, not %.50s",
                 method ? method : "", call, position, Py_TYPE(object)->tp_name);
#endif
}

inline PyObject *integer(long value)
{
    // The small-int table (bench/RESULTS.md): 0 to 7, kept once made.
    static PyObject *small[8];
    const bool is_small = value >= 0 && value < 8;
    if (is_small && small[value]) {
        Py_INCREF(small[value]);
        return small[value];
    }
#if TW_PY3
    PyObject *object = PyLong_FromLong(value);
#else
    PyObject *object = PyInt_FromLong(value);
#endif
    if (is_small && object) {
        Py_INCREF(object);
        small[value] = object;  // kept for good
    }
    return object;
}

// The value of an object of exactly the native int type, as the argument
// parser reads it; false for any other object.
inline bool exact_int_value(PyObject *object, long &value)
{
#if TW_PY3
    if (!PyLong_CheckExact(object))
        return false;
    int overflow = 0;
    value = PyLong_AsLongAndOverflow(object, &overflow);
    return overflow == 0 && !(value == -1 && PyErr_Occurred());
#else
    if (!PyInt_CheckExact(object))
        return false;
    value = PyInt_AS_LONG(object);
    return true;
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

// Calls `callable` with the `count` positional arguments at `arguments`;
// a new reference, or null with the error set.  arguments[-1] must be
// writable: with vectorcall a bound method borrows it for its self rather
// than copying the arguments; older interpreters get a tuple.
inline PyObject *call(PyObject *callable, PyObject **arguments, size_t count)
{
#if PY_VERSION_HEX >= 0x03090000
    return PyObject_Vectorcall(callable, arguments, count | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
#elif PY_VERSION_HEX >= 0x03080000
    return _PyObject_Vectorcall(callable, arguments, count | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
#else
    PyObject *tuple = PyTuple_New(static_cast<Py_ssize_t>(count));
    if (!tuple)
        return nullptr;
    for (size_t i = 0; i < count; ++i) {
        Py_INCREF(arguments[i]);
        PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(i), arguments[i]);
    }
    PyObject *result = PyObject_Call(callable, tuple, nullptr);
    Py_DECREF(tuple);
    return result;
#endif
}

// Whether `object`'s method `name` can be called by name with
// call_method(): ordinary attribute lookup and a plain Python function of
// that name on the class (3.9+).  Looking such a method up cannot fail, so
// an error from call_method() is the method's own.
inline bool has_plain_method(PyObject *object, PyObject *name)
{
#if PY_VERSION_HEX >= 0x03090000
    PyTypeObject *type = Py_TYPE(object);
    if (type->tp_getattro != PyObject_GenericGetAttr)
        return false;
    PyObject *found = _PyType_Lookup(type, name);
    return found && PyFunction_Check(found);
#else
    (void)object;
    (void)name;
    return false;
#endif
}

// has_plain_method() remembered for one name: a yes holds for the type
// while its version tag stays, since any change to the type or its bases
// (attributes, bases, __getattribute__) gives it a new tag.  Tags are never
// reused, so a type made later at the same address cannot match.
struct PlainMethodMemo {
    PyTypeObject *type = nullptr;
    unsigned long version = 0;  // 0: nothing remembered
};

inline unsigned long type_version(PyTypeObject *type)
{
    return PyType_HasFeature(type, Py_TPFLAGS_VALID_VERSION_TAG) ? type->tp_version_tag : 0;
}

inline bool has_plain_method(PyObject *object, PyObject *name, PlainMethodMemo &memo)
{
    PyTypeObject *type = Py_TYPE(object);
    if (memo.version != 0 && type == memo.type && type_version(type) == memo.version)
        return true;
    if (!has_plain_method(object, name))
        return false;
    // The lookup gave the type a tag if it can have one.
    memo.type = type;
    memo.version = type_version(type);
    return true;
}

// Calls method `name` of arguments[0] with the `count` - 1 arguments after
// it, looking it up as getattr would but without making a bound method.
// arguments[-1] must be writable.  Only after has_plain_method().
inline PyObject *call_method(PyObject *name, PyObject **arguments, size_t count)
{
#if PY_VERSION_HEX >= 0x03090000
    return PyObject_VectorcallMethod(name, arguments, count | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
#else
    PyObject *method = PyObject_GetAttr(arguments[0], name);
    if (!method)
        return nullptr;
    PyObject *result = call(method, arguments + 1, count - 1);
    Py_DECREF(method);
    return result;
#endif
}

// The event the interpreter sets when Ctrl-C reaches it, for a wait that
// must end then: on Windows, where signals do not interrupt a wait, in the
// main thread (the only one whose Python handlers run); null elsewhere,
// where a signal interrupts the waiting thread itself.
inline void *interrupt_event()
{
#if defined(MS_WINDOWS) && TW_PY3
    return _PyOS_IsMainThread() ? _PyOS_SigintEvent() : nullptr;
#else
    return nullptr;
#endif
}

// Reports the pending exception to the interpreter's unraisable-exception
// hook and clears it.
inline void write_unraisable(PyObject *context)
{
    PyErr_WriteUnraisable(context);
}

// What an extension module is made from; static, since the interpreter keeps
// pointing at it for as long as the module lives.
struct ModuleDefinition {
    const char *name;
    const char *doc;
    PyMethodDef *methods;
    bool (*fill)(PyObject *module);  // adds the attributes; false with the error set
#if TW_PY3
    PyModuleDef def;
#endif
};

// The module, filled, or null with the error set.
inline PyObject *create_module(ModuleDefinition &definition)
{
#if TW_PY3
    definition.def = PyModuleDef{PyModuleDef_HEAD_INIT, definition.name, definition.doc, -1, definition.methods,
                                 nullptr, nullptr, nullptr, nullptr};
    PyObject *module = PyModule_Create(&definition.def);
    if (module && !definition.fill(module))
        Py_CLEAR(module);
    return module;
#else
    PyObject *module = Py_InitModule3(definition.name, definition.methods, definition.doc);  // borrowed
    return module && definition.fill(module) ? module : nullptr;
#endif
}

}  // namespace py
}  // namespace talkwire

// TW_MODULE_INIT(name, definition) defines the module's init function, its
// one export: modules build with hidden visibility, and interpreters before
// 3.9 leave PyMODINIT_FUNC's visibility alone; on Windows PyMODINIT_FUNC is
// __declspec(dllexport), which exports it and nothing else.
#if defined(__GNUC__) && !defined(_WIN32)
#  define TW_MODULE_EXPORTS_BEGIN _Pragma("GCC visibility push(default)")
#  define TW_MODULE_EXPORTS_END _Pragma("GCC visibility pop")
#else
#  define TW_MODULE_EXPORTS_BEGIN
#  define TW_MODULE_EXPORTS_END
#endif
#if TW_PY3
#  define TW_MODULE_INIT_FUNCTION(name, definition) \
      PyMODINIT_FUNC PyInit_##name(void) { return ::talkwire::py::create_module(definition); }
#else
#  define TW_MODULE_INIT_FUNCTION(name, definition) \
      PyMODINIT_FUNC init##name(void) { ::talkwire::py::create_module(definition); }
#endif
#define TW_MODULE_INIT(name, definition) \
    TW_MODULE_EXPORTS_BEGIN TW_MODULE_INIT_FUNCTION(name, definition) TW_MODULE_EXPORTS_END

#endif
