#include "bridge/pump_exit.h"

#include "pycompat/held_error.h"

#include <new>
#include <utility>

namespace talkwire {
namespace {

// What the thread's pumps share: the innermost one open, and the exception
// parked for them.  Plain pointers, so that a thread's end runs no
// destructor (nothing is parked by then: the last pump reports it).
struct PumpThread {
    PumpScope *innermost;
    HeldError *parked;
};

thread_local PumpThread t_pumps = {nullptr, nullptr};

// The parked exception set as the error indicator again.
void restore_parked()
{
    HeldError *parked = std::exchange(t_pumps.parked, nullptr);
    parked->restore();
    delete parked;
}

bool stops_the_program()
{
    return PyErr_ExceptionMatches(PyExc_KeyboardInterrupt) || PyErr_ExceptionMatches(PyExc_SystemExit);
}

}  // namespace

PumpScope::PumpScope(PyObject *called_on) : outer_(t_pumps.innermost), called_on_(called_on)
{
    t_pumps.innermost = this;
}

PumpScope::~PumpScope()
{
    t_pumps.innermost = outer_;
    // The last pump gone: an exception parked after its last look (none
    // should be) is reported rather than lost.
    if (!outer_ && t_pumps.parked) {
        HeldError saved = HeldError::take();
        restore_parked();
        PyErr_WriteUnraisable(called_on_);
        saved.restore();
    }
}

bool PumpScope::exit_requested() const
{
    return t_pumps.parked != nullptr;
}

PyObject *PumpScope::raise_parked()
{
    if (t_pumps.parked)
        restore_parked();
    return nullptr;
}

bool park_for_pump()
{
    if (!t_pumps.innermost || t_pumps.parked || !stops_the_program())
        return false;
    try {
        t_pumps.parked = new HeldError(HeldError::take());
    } catch (const std::bad_alloc &) {
        return false;  // still set: reported as unraisable
    }
    return true;
}

bool pump_exit_pending()
{
    return t_pumps.parked != nullptr;
}

Py_ssize_t pump_call_references(PyObject *object)
{
    if (!py::kCallHoldsSelf)
        return 0;
    Py_ssize_t references = 0;
    for (PumpScope *scope = t_pumps.innermost; scope; scope = scope->outer_) {
        if (scope->called_on_ == object)
            ++references;
    }
    return references;
}

}  // namespace talkwire
