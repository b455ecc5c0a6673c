// QuitHandle: taken on a thread that pumps messages; its quit() ends that
// thread's Run from anywhere.
#ifndef TALKWIRE_LOOP_QUIT_HANDLE_H
#define TALKWIRE_LOOP_QUIT_HANDLE_H

#include "pycompat/pycompat.h"

namespace talkwire {

// Interpreter lock held.  The type, made ready once; null with the error
// set when it cannot be.
PyTypeObject *ready_quit_handle_type();

}  // namespace talkwire

#endif
