// The synchronous road: a request whose caller blocks until the SDK thread
// hands it the response.
//
// The notification handler (SDK thread) stores the response, signals the
// event, posts the message as for every other message (unless the handler
// belongs to a connector of another thread, which could release it while
// the caller reads), and finally records whether that post succeeded.  The
// caller reads the response once both are known: when there was no post,
// nobody else will ever see the response, so the caller releases it after
// reading.
#ifndef TALKWIRE_BRIDGE_PENDING_REQUEST_H
#define TALKWIRE_BRIDGE_PENDING_REQUEST_H

#include "bridge/sdk_request.h"
#include "twplatform/win32.h"
#include "voicesdk/voicesdk.h"

#include <atomic>
#include <utility>

namespace talkwire {

// Response types answered on the synchronous road.
bool is_synchronous_response_type(int response_type);

// A response read by a synchronous caller.  Released on scope exit only when
// its posted copy never reached a message queue.
class SyncResponse {
public:
    SyncResponse() = default;
    SyncResponse(sdk_resp_base_t *response, bool owned) : response_(response), owned_(owned) {}
    SyncResponse(SyncResponse &&other) noexcept
        : response_(std::exchange(other.response_, nullptr)), owned_(other.owned_) {}
    SyncResponse &operator=(SyncResponse &&other) noexcept
    {
        std::swap(response_, other.response_);
        std::swap(owned_, other.owned_);
        return *this;
    }
    ~SyncResponse()
    {
        if (response_ && owned_)
            destroy_resp(response_);
    }

    sdk_resp_base_t *get() const { return response_; }
    template <class Record>
    const Record *as() const { return reinterpret_cast<const Record *>(response_); }

private:
    sdk_resp_base_t *response_ = nullptr;
    bool owned_ = false;
};

class PendingRequest {
public:
    PendingRequest();
    PendingRequest(const PendingRequest &) = delete;
    PendingRequest &operator=(const PendingRequest &) = delete;
    virtual ~PendingRequest();

    bool has_event() const { return event_ != nullptr; }
    DWORD caller_thread() const { return caller_thread_; }

    // SDK thread: store the response, then signal.
    void hand_off(sdk_resp_base_t *response);
    // SDK thread, after the post: the last touch of this record.
    void post_outcome(bool posted);

    // Owner thread.
    bool wait(DWORD milliseconds = INFINITE);
    SyncResponse take();

private:
    enum PostState { kPostPending, kPosted, kPostFailed };

    HANDLE event_ = nullptr;
    DWORD caller_thread_;
    sdk_resp_base_t *response_ = nullptr;
    std::atomic<int> post_state_{kPostPending};
};

struct SyncOutcome {
    enum Status { kNoEvent, kRefused, kWaitFailed, kAnswered };
    Status status;
    int code;               // the refusal's value (kRefused)
    SyncResponse response;  // kAnswered
};

// Issues `request` with a PendingRequest and blocks, interpreter lock held,
// until the SDK thread hands the response over.  Owner thread; the caller
// decides what a failure raises.
template <class Record>
SyncOutcome issue_request_and_wait(Request<Record> &&request)
{
    Request<Record> owned(std::move(request));
    PendingRequest pending;
    if (!pending.has_event())
        return SyncOutcome{SyncOutcome::kNoEvent, 0, SyncResponse()};  // never in flight
    owned->base.user_pointer = &pending;
    return issue_pending(&owned.release()->base, pending);
}

// The untyped part: `request` is already owned by the caller's SDK hand-off.
SyncOutcome issue_pending(sdk_req_base_t *request, PendingRequest &pending);

}  // namespace talkwire

#endif
