/*
 * Fault injection for the platform layer (non-Windows hosts only): the next
 * `count` calls of one operation fail as the real call would, leaving `error`
 * as the thread's last error.  Tests use it to prove that every failure road
 * of the product ends cleanly.  Also a count of the windows that exist.
 */
#ifndef TWPLATFORM_FAULTS_H
#define TWPLATFORM_FAULTS_H

#include "twplatform/win32.h"

#ifdef __cplusplus
extern "C" {
#endif

enum twplat_fault {
    twplat_fault_create_event = 0,  /* CreateEventA returns null */
    twplat_fault_create_thread,     /* CreateThread returns null */
    twplat_fault_register_class,    /* RegisterClassExA returns 0 */
    twplat_fault_create_window,     /* CreateWindowExA returns null */
    twplat_fault_post_message,      /* PostMessageA returns FALSE */
    twplat_fault_count
};

/* Windows has the real calls, which cannot be made to fail on demand. */
#ifdef _WIN32
#  define TWPLAT_HAVE_FAULTS 0
#else
#  define TWPLAT_HAVE_FAULTS 1
TWPLATFORM_API void twplat_inject_fault(int fault, int count, DWORD error);
TWPLATFORM_API void twplat_clear_faults(void);
/* Windows that exist in the process, of every thread: tests count what a
 * teardown leaves behind. */
TWPLATFORM_API size_t twplat_window_count(void);
#endif

#ifdef __cplusplus
}
#endif

#endif
