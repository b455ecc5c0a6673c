#include "bridge/request_thread.h"

#include "voicesdk/voicesdk.h"

namespace talkwire {

DWORD WINAPI issue_request_thread(LPVOID request)
{
    sdk_issue_request(static_cast<sdk_req_base_t *>(request));
    return 0;
}

bool start_request_thread(void *request)
{
    HANDLE thread = CreateThread(nullptr, 0, issue_request_thread, request, 0, nullptr);
    if (!thread)
        return false;
    CloseHandle(thread);  // nobody waits for it; the thread runs on
    return true;
}

}  // namespace talkwire
