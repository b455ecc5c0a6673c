#include "bridge/pump_exit.h"

#include "pycompat/held_error.h"

#include <new>
#include <utility>

namespace talkwire {

// The thread's record shared by the pumps of every module.  Its layout is
// part of the key: modules of another layout never meet it.
struct PumpScope::Shared {
    long open_pumps;
    HeldError *parked;
};

namespace {

const char kSharedKey[] = "talkwire.pump_exit.v1";

// This module's pumps open on the thread, for pump_call_references(); and
// whether a dispatch here parked an exception that may not be raised yet
// (so that a drain's look after every message costs nothing until then).
thread_local PumpScope *t_innermost = nullptr;
thread_local bool t_maybe_parked = false;

void destroy_shared(PyObject *capsule)
{
    delete static_cast<PumpScope::Shared *>(PyCapsule_GetPointer(capsule, kSharedKey));
}

// The thread's record, or null when there is none (none is made).
PumpScope::Shared *find_shared()
{
    PyObject *dict = PyThreadState_GetDict();
    if (!dict)
        return nullptr;
    PyObject *capsule = PyDict_GetItemString(dict, kSharedKey);  // borrowed; errors suppressed
    if (!capsule || !PyCapsule_IsValid(capsule, kSharedKey))
        return nullptr;
    return static_cast<PumpScope::Shared *>(PyCapsule_GetPointer(capsule, kSharedKey));
}

// The thread's record, made on first use; null (with no error set) when it
// cannot be made, and the pump then parks nothing.
PumpScope::Shared *find_or_make_shared()
{
    if (PumpScope::Shared *shared = find_shared())
        return shared;
    HeldError saved = HeldError::take();
    PyObject *dict = PyThreadState_GetDict();
    auto *shared = new (std::nothrow) PumpScope::Shared{0, nullptr};
    PyObject *capsule = shared && dict ? PyCapsule_New(shared, kSharedKey, destroy_shared) : nullptr;
    if (!capsule) {
        delete shared;
        shared = nullptr;
    } else if (PyDict_SetItemString(dict, kSharedKey, capsule) < 0) {
        shared = nullptr;  // the capsule's destructor frees it
    }
    Py_XDECREF(capsule);
    PyErr_Clear();
    saved.restore();
    return shared;
}

// The parked exception set as the error indicator again.
void restore_parked(PumpScope::Shared *shared)
{
    HeldError *parked = std::exchange(shared->parked, nullptr);
    parked->restore();
    delete parked;
}

bool stops_the_program()
{
    return PyErr_ExceptionMatches(PyExc_KeyboardInterrupt) || PyErr_ExceptionMatches(PyExc_SystemExit);
}

}  // namespace

PumpScope::PumpScope(PyObject *called_on)
    : shared_(find_or_make_shared()), outer_(t_innermost), called_on_(called_on)
{
    t_innermost = this;
    if (shared_)
        ++shared_->open_pumps;
}

PumpScope::~PumpScope()
{
    t_innermost = outer_;
    if (!shared_)
        return;
    // The last pump gone: an exception parked after its last look (none
    // should be) is reported rather than lost.
    if (--shared_->open_pumps == 0 && shared_->parked) {
        HeldError saved = HeldError::take();
        restore_parked(shared_);
        PyErr_WriteUnraisable(called_on_ ? called_on_ : Py_None);
        saved.restore();
    }
}

bool PumpScope::exit_requested() const
{
    return shared_ && shared_->parked != nullptr;
}

PyObject *PumpScope::raise_parked()
{
    if (shared_ && shared_->parked)
        restore_parked(shared_);
    return nullptr;
}

bool park_for_pump()
{
    if (!stops_the_program())
        return false;
    PumpScope::Shared *shared = find_shared();
    if (!shared || shared->open_pumps == 0 || shared->parked)
        return false;
    try {
        shared->parked = new HeldError(HeldError::take());
    } catch (const std::bad_alloc &) {
        return false;  // still set: reported as unraisable
    }
    t_maybe_parked = true;
    return true;
}

bool pump_exit_pending()
{
    if (!t_maybe_parked)
        return false;
    PumpScope::Shared *shared = find_shared();
    t_maybe_parked = shared && shared->parked;
    return t_maybe_parked;
}

Py_ssize_t pump_call_references(PyObject *object)
{
    if (!py::kCallHoldsSelf)
        return 0;
    // Only pumps that are methods hold a reference for their call, and
    // those are this module's.
    Py_ssize_t references = 0;
    for (PumpScope *scope = t_innermost; scope; scope = scope->outer_) {
        if (scope->called_on_ == object)
            ++references;
    }
    return references;
}

}  // namespace talkwire
