// Issues one request from a short-lived thread of its own.
#ifndef TALKWIRE_BRIDGE_REQUEST_THREAD_H
#define TALKWIRE_BRIDGE_REQUEST_THREAD_H

#include "twplatform/win32.h"

namespace talkwire {

// Thread procedure; its parameter is the request (owned by the SDK from the
// issue on).  Touches nothing else; the result goes unnoticed.
DWORD WINAPI issue_request_thread(LPVOID request);

// Starts issue_request_thread for `request`; false (last error set) when the
// thread could not be started, in which case the request is still the
// caller's.
bool start_request_thread(void *request);

}  // namespace talkwire

#endif
