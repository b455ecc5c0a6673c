#include "dispatch/listener.h"

namespace talkwire {
namespace dispatch {
namespace {

const char *const kCallbackNames[] = {
#define TALKWIRE_CALLBACK_NAME(name) #name,
    TALKWIRE_CALLBACKS(TALKWIRE_CALLBACK_NAME)
#undef TALKWIRE_CALLBACK_NAME
};
constexpr size_t kCallbackCount = sizeof kCallbackNames / sizeof kCallbackNames[0];

// Interned once; a failure to intern falls back to a fresh string per call.
OwnedRef callback_name(Callback callback)
{
    static PyObject *names[kCallbackCount] = {};
    size_t index = static_cast<size_t>(callback);
    if (!names[index]) {
#if TW_PY3
        names[index] = PyUnicode_InternFromString(kCallbackNames[index]);
#else
        names[index] = PyString_InternFromString(kCallbackNames[index]);
#endif
    }
    return OwnedRef::take(names[index]);
}

}  // namespace

void report_unraisable(PyObject *context)
{
    if (PyErr_Occurred())
        py::write_unraisable(context);
}

OwnedRef call_listener(PyObject *listener, Callback callback, OwnedRef arguments)
{
    if (!arguments) {
        report_unraisable(listener);
        return OwnedRef();
    }
    OwnedRef name = callback_name(callback);
    if (!name) {
        report_unraisable(listener);
        return OwnedRef();
    }
    OwnedRef method = OwnedRef::steal(PyObject_GetAttr(listener, name.get()));
    if (!method) {
        // A listener need not implement every callback.
        if (PyErr_ExceptionMatches(PyExc_AttributeError))
            PyErr_Clear();
        else
            report_unraisable(listener);
        return OwnedRef();
    }
    OwnedRef result = OwnedRef::steal(PyObject_Call(method.get(), arguments.get(), nullptr));
    if (!result)
        report_unraisable(method.get());
    return result;
}

}  // namespace dispatch
}  // namespace talkwire
