#include "dispatch/listener.h"

#include "bridge/pump_exit.h"
#include "pycompat/held_error.h"

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
    if (!names[index])
        names[index] = py::interned_text(kCallbackNames[index]);
    return OwnedRef::take(names[index]);
}

// The bound method a failed call by name reports as the error's context,
// looked up with the call's error put aside.
OwnedRef method_for_report(PyObject *listener, PyObject *name)
{
    HeldError error = HeldError::take();
    OwnedRef method = OwnedRef::steal(PyObject_GetAttr(listener, name));
    if (!method)
        PyErr_Clear();
    error.restore();
    return method;
}

}  // namespace

void report_unraisable(PyObject *context)
{
    // KeyboardInterrupt and SystemExit end the pump that dispatches, if it
    // is ours.
    if (PyErr_Occurred() && !park_for_pump())
        py::write_unraisable(context);
}

OwnedRef call_listener(Callback callback, PyObject **call, size_t count)
{
    PyObject *listener = call[0];
    PyObject **arguments = call + 1;
    for (size_t i = 0; i < count; ++i) {
        if (!arguments[i]) {
            report_unraisable(listener);
            return OwnedRef();
        }
    }
    OwnedRef name = callback_name(callback);
    if (!name) {
        report_unraisable(listener);
        return OwnedRef();
    }
    // A method of the listener's class is called by name, with no bound
    // method made per call.  Its lookup cannot fail, so an error is the
    // method's own.
    static py::PlainMethodMemo plain[kCallbackCount];
    if (py::has_plain_method(listener, name.get(), plain[static_cast<size_t>(callback)])) {
        OwnedRef result = OwnedRef::steal(py::call_method(name.get(), call, count + 1));
        if (!result) {
            // The same context as a bound-method call reports.
            OwnedRef method = method_for_report(listener, name.get());
            report_unraisable(method ? method.get() : listener);
        }
        return result;
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
    OwnedRef result = OwnedRef::steal(py::call(method.get(), arguments, count));
    if (!result)
        report_unraisable(method.get());
    return result;
}

}  // namespace dispatch
}  // namespace talkwire
