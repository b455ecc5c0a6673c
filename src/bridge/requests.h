// The two roads of a request, as Python methods see them.  Owner thread,
// interpreter lock held.  Both throw PyErrOccurred with the error set.
#ifndef TALKWIRE_BRIDGE_REQUESTS_H
#define TALKWIRE_BRIDGE_REQUESTS_H

#include "bridge/error_codes.h"
#include "bridge/errors.h"
#include "bridge/messages.h"
#include "bridge/pending_request.h"
#include "bridge/sdk_request.h"

namespace talkwire {

// A request that could not be built (the SDK is out of memory) is released
// and raises MemoryError.
template <class Record>
void require_complete(const Request<Record> &request)
{
    if (!request.complete()) {
        PyErr_SetString(PyExc_MemoryError, msg::kSdkOutOfMemory);
        throw PyErrOccurred();
    }
}

// Asynchronous road: issues the request; a refusal raises `message` with the
// SDK's value as the code.
template <class Record>
void issue_request(Request<Record> &&request, const char *message)
{
    require_complete(request);
    int result = request.issue();
    if (result != 0)
        throw_error(result, message);
}

// The synchronous road's sleep: the interpreter lock let go, Ctrl-C heard.
// A signal handler that raises abandons the wait, its error set.
AnswerWait wait_for_answer(HANDLE event);

// Synchronous road: sleeps, letting other Python threads run, until the
// response is handed over.  A refused issue, a failed wait or a failed
// response raises `message` (code: the SDK's value, E_FAIL, or the
// response's status code); a signal handler's exception (Ctrl-C) is raised
// as it is, and the answer is released whenever it comes.  Code that holds
// references into the connector's state must not keep them across this
// call: other threads may call the connector's methods while it sleeps.
template <class Record>
SyncResponse issue_request_and_wait(Request<Record> &&request, const char *message)
{
    require_complete(request);
    SyncOutcome outcome = issue_request_and_wait(std::move(request), wait_for_answer);
    switch (outcome.status) {
    case SyncOutcome::kNoEvent:
    case SyncOutcome::kWaitFailed:
        throw_error(kErrorFail, message);
    case SyncOutcome::kRefused:
        throw_error(outcome.code, message);
    case SyncOutcome::kAbandoned:
        throw SignalRaised();
    case SyncOutcome::kAnswered:
        break;
    }
    const sdk_resp_base_t *response = outcome.response.get();
    if (response->return_code != 0)
        throw_error(response->status_code, message);  // 0: the thread's last error
    return std::move(outcome.response);
}

}  // namespace talkwire

#endif
