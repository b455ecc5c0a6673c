// Calls on the listener.  They are made only by the handlers, so nobody on
// the Python side can receive their errors: a missing method is skipped, and
// an exception a method raises goes to the interpreter's unraisable hook.
// Owner thread, interpreter lock held.
#ifndef TALKWIRE_DISPATCH_LISTENER_H
#define TALKWIRE_DISPATCH_LISTENER_H

#include "pycompat/pycompat.h"
#include "pycompat/ref.h"

#include <cstddef>
#include <string>

namespace talkwire {
namespace dispatch {

// The listener protocol: every method the module ever calls.
#define TALKWIRE_CALLBACKS(X)                   \
    X(OnInitialized)                            \
    X(OnShutDown)                               \
    X(OnAccountCreated)                         \
    X(OnCreateAccountFailed)                    \
    X(OnAccountNotFound)                        \
    X(FailedOnLogin)                            \
    X(OnLoggedIn)                               \
    X(FailedChannelCreate)                      \
    X(FailedJoinChannel)                        \
    X(OnJoinedChannel)                          \
    X(OnLeftChannel)                            \
    X(OnParticipantJoined)                      \
    X(OnParticipantLeft)                        \
    X(OnParticipantStateChanged)                \
    X(OnMicrophoneIntensityEvent)               \
    X(OnKeyEvent)                               \
    X(OnConnectorEvent)                         \
    X(OnConnectivityTroubleShooterErrorFound)

enum class Callback {
#define TALKWIRE_CALLBACK_ENUM(name) name,
    TALKWIRE_CALLBACKS(TALKWIRE_CALLBACK_ENUM)
#undef TALKWIRE_CALLBACK_ENUM
};

// Argument builders: an int ("i"), text ("s"; null text is None).
inline PyObject *to_python(int value) { return py::integer(value); }
inline PyObject *to_python(const std::string &value) { return py::text(value); }
inline PyObject *to_python(const char *value)
{
    if (value)
        return py::text(value);
    Py_INCREF(Py_None);
    return Py_None;
}

// Looks the method up on the listener by name (every time: methods may be
// added or replaced) and calls it with `arguments` (a tuple; null when the
// arguments could not be built).  Returns the method's result, or nothing
// when the method is missing or raised.
OwnedRef call_listener(PyObject *listener, Callback callback, OwnedRef arguments);

template <class... Arguments>
OwnedRef notify(PyObject *listener, Callback callback, const Arguments &...arguments)
{
    PyObject *items[] = {to_python(arguments)..., nullptr};
    OwnedRef tuple = OwnedRef::steal(PyTuple_New(sizeof...(arguments)));
    bool built = bool(tuple);
    for (size_t i = 0; i < sizeof...(arguments); ++i) {
        if (!items[i] || !tuple)
            built = false;
        if (tuple && items[i])
            PyTuple_SET_ITEM(tuple.get(), i, items[i]);
        else
            Py_XDECREF(items[i]);
    }
    if (!built)
        tuple.reset();
    return call_listener(listener, callback, std::move(tuple));
}

// Sends the pending Python error to the unraisable hook and clears it.
void report_unraisable(PyObject *context);

}  // namespace dispatch
}  // namespace talkwire

#endif
