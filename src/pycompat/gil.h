// The interpreter lock for code that may be entered without it.
#ifndef TALKWIRE_PYCOMPAT_GIL_H
#define TALKWIRE_PYCOMPAT_GIL_H

#include <Python.h>

namespace talkwire {
namespace py {

// Holds the interpreter lock for its scope, whether or not the thread had
// it on entry (taking it again when already held only counts).  For entry
// points that any code may call, such as a window procedure run by a
// host's own message loop that let go of the lock.
class LockHeld {
public:
    LockHeld() : state_(PyGILState_Ensure()) {}
    ~LockHeld() { PyGILState_Release(state_); }
    LockHeld(const LockHeld &) = delete;
    LockHeld &operator=(const LockHeld &) = delete;

private:
    PyGILState_STATE state_;
};

}  // namespace py
}  // namespace talkwire

#endif
