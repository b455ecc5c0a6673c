// Every method first checks that it runs in the process that made its
// connector: in a child forked from it the SDK's thread is missing, and a
// call that waits for it would wait for ever.  Kept apart from the
// connector's header, which brings in <windows.h> and its macros (one of
// them renames a method).
#ifndef TALKWIRE_MODULE_OWNER_PROCESS_H
#define TALKWIRE_MODULE_OWNER_PROCESS_H

#include "pycompat/pycompat.h"

namespace talkwire {

// Interpreter lock held.  False, with RuntimeError set, when `self` was
// made in another process.
bool check_owner_process(PyObject *self);

}  // namespace talkwire

#endif
