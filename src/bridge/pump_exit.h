// How a dispatch ends the pump that dispatched it.
//
// Listener callbacks run inside message dispatch, where no Python caller
// can receive what they raise: their errors go to the unraisable hook.  Two
// exceptions are requests to stop rather than errors, KeyboardInterrupt and
// SystemExit, and a pump of ours is a Python call that can raise them.  So:
//
//  - a pump of ours (Run, and any other that dispatches messages for Python
//    code) keeps a PumpScope open while it dispatches, and after each
//    DispatchMessageA asks exit_requested(); when true it stops and returns
//    raise_parked(), which sets the exception;
//  - where a dispatch would report an error as unraisable, it first calls
//    park_for_pump(): with a pump of ours running on this thread, a
//    KeyboardInterrupt or SystemExit is taken out of the error indicator
//    and parked on the thread for that pump;
//  - a mailbox's drain asks pump_exit_pending() after each message and
//    stops there, once that message is released; the messages after it stay
//    queued, with a wake-up posted for the next pump.
//
// With no pump of ours on the thread (a host's own message loop dispatches),
// nothing could raise it: it is reported like any other error.  One
// exception is parked at a time (a second goes to the unraisable hook); the
// innermost pump of ours raises it when its dispatch returns, and a nested
// pump's exception reaches the callback that ran it like any raised error.
//
// The pumps are in more than one extension module (_talkwire's Run,
// _talkwire_loop's pump), each with its own copy of this code and of its
// thread-local variables, and any of them may be running, nested in any
// order, when a dispatch parks.  So what they share, the number of pumps
// open on the thread and the parked exception, is one record per thread in
// the interpreter's per-thread dictionary, found by every module alike.
//
// Owner thread, interpreter lock held, throughout.
#ifndef TALKWIRE_BRIDGE_PUMP_EXIT_H
#define TALKWIRE_BRIDGE_PUMP_EXIT_H

#include "pycompat/pycompat.h"

namespace talkwire {

class PumpScope {
public:
    // `called_on`: the object the pump method was called on (Run's self),
    // whose caller holds a reference to it until the pump returns; null for
    // a pump that is a function.
    explicit PumpScope(PyObject *called_on);
    ~PumpScope();
    PumpScope(const PumpScope &) = delete;
    PumpScope &operator=(const PumpScope &) = delete;

    // After each dispatched message: a dispatch parked an exception.
    bool exit_requested() const;
    // Sets the parked exception as the error indicator; returns null, the
    // pump's result.
    PyObject *raise_parked();

    struct Shared;

private:
    friend Py_ssize_t pump_call_references(PyObject *object);

    Shared *shared_;       // null when the record could not be made
    PumpScope *outer_;     // this module's next pump out, on this thread
    PyObject *called_on_;  // null for a pump that is no method
};

// With an error set: when it is a KeyboardInterrupt or SystemExit (or a
// subclass), a pump of ours runs on this thread and nothing is parked yet,
// takes it out of the error indicator and parks it; true then.  False, with
// the error still set, otherwise.
bool park_for_pump();

// A dispatch on this thread has parked an exception that no pump has
// raised yet: a drain stops here.
bool pump_exit_pending();

// References to `object` that the callers of the pumps running on this
// thread hold for their calls: a drain that sees no others knows that
// nothing but the pumps can reach it any more.
Py_ssize_t pump_call_references(PyObject *object);

}  // namespace talkwire

#endif
