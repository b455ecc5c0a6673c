#include "internal.h"

namespace {
thread_local DWORD tls_last_error = 0;
}

extern "C" {

DWORD GetLastError(void) { return tls_last_error; }

void SetLastError(DWORD code) { tls_last_error = code; }

}  // extern "C"
