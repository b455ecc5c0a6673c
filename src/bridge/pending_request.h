// The synchronous road: a request whose caller blocks until the SDK thread
// hands it the response.
//
// The notification handler (SDK thread) stores the response, signals the
// event, posts the message as for every other message (unless the handler
// belongs to a connector of another thread, whose pump the caller cannot
// hold back), and finally records whether that post succeeded.  A posted
// answer carries a hold (bridge/answer_holds.h) until its caller has read
// it, so no pump, finalizer or teardown releases it under the reader; when
// there was no post, nobody else will ever see the response, and the caller
// releases it after reading.
#ifndef TALKWIRE_BRIDGE_PENDING_REQUEST_H
#define TALKWIRE_BRIDGE_PENDING_REQUEST_H

#include "bridge/answer_holds.h"
#include "bridge/sdk_message.h"
#include "bridge/sdk_request.h"
#include "twplatform/win32.h"
#include "voicesdk/voicesdk.h"

#include <atomic>
#include <utility>

namespace talkwire {

// Response types answered on the synchronous road.
bool is_synchronous_response_type(int response_type);

// A response read by a synchronous caller, which owns it until it goes:
// released on scope exit when its posted copy never reached a mailbox, its
// hold dropped when it did (the mailbox's drain then releases it, or this
// does if a mailbox let go of it meanwhile).
class SyncResponse {
public:
    enum Road { kCallerOnly, kPostedAndHeld };

    SyncResponse() = default;
    SyncResponse(sdk_resp_base_t *response, Road road) : response_(response), road_(road) {}
    SyncResponse(SyncResponse &&other) noexcept : response_(std::move(other.response_)), road_(other.road_) {}
    SyncResponse &operator=(SyncResponse other) noexcept
    {
        std::swap(response_, other.response_);
        std::swap(road_, other.road_);
        return *this;
    }
    // The caller's own record goes with response_.
    ~SyncResponse()
    {
        if (road_ == kPostedAndHeld && response_)
            answer_holds::release(response_.release());
    }

    sdk_resp_base_t *get() const { return reinterpret_cast<sdk_resp_base_t *>(response_.get()); }
    template <class Record>
    const Record *as() const { return reinterpret_cast<const Record *>(response_.get()); }

private:
    SdkMessage response_;
    Road road_ = kCallerOnly;
};

// The record a synchronous request carries to the SDK thread in its user
// pointer.  It is counted: one reference is the caller's, one travels with
// the request and is the SDK thread's after the answer's hand-off.  So a
// caller that stops waiting (Ctrl-C) may go: the late answer still finds
// the record, and whoever lets go last closes the event and releases an
// answer that no queue took.
class PendingRequest {
public:
    // Owner thread.  A record with both references, or null when no event
    // could be made (the last error says why).
    static PendingRequest *create();
    PendingRequest(const PendingRequest &) = delete;
    PendingRequest &operator=(const PendingRequest &) = delete;

    // Any thread: drops one reference; the last one destroys the record.
    void release();

    HANDLE event() const { return event_; }
    DWORD caller_thread() const { return caller_thread_; }

    // SDK thread: store the response, then signal.
    void hand_off(sdk_resp_base_t *response);
    // SDK thread, after the post: the SDK side's last touch, which drops
    // the reference the request carried.  `posted`: the response reached a
    // mailbox with a hold on it.
    void post_outcome(bool posted);

    // Owner thread, once the event was set.
    SyncResponse take();

private:
    enum PostState { kPostPending, kPosted, kPostFailed };

    PendingRequest();
    virtual ~PendingRequest();

    HANDLE event_ = nullptr;
    DWORD caller_thread_;
    sdk_resp_base_t *response_ = nullptr;
    std::atomic<int> post_state_{kPostPending};
    std::atomic<int> references_{2};
};

// The caller's reference to a PendingRequest.
class PendingRef {
public:
    explicit PendingRef(PendingRequest *pending) : pending_(pending) {}
    ~PendingRef()
    {
        if (pending_)
            pending_->release();
    }
    PendingRef(const PendingRef &) = delete;
    PendingRef &operator=(const PendingRef &) = delete;

    PendingRequest *operator->() const { return pending_; }
    PendingRequest *get() const { return pending_; }
    explicit operator bool() const { return pending_ != nullptr; }

private:
    PendingRequest *pending_;
};

// How a synchronous caller sleeps until the answer's event is set.
enum class AnswerWait {
    answered,   // the event was set
    failed,     // the wait failed (last error set)
    abandoned,  // the caller stopped waiting (the waiter says why)
};
using AnswerWaiter = AnswerWait (*)(HANDLE event);

// Sleeps until the event is set, nothing else ending it.
AnswerWait wait_until_answered(HANDLE event);

struct SyncOutcome {
    enum Status { kNoEvent, kRefused, kWaitFailed, kAbandoned, kAnswered };
    Status status;
    int code;               // the refusal's value (kRefused)
    SyncResponse response;  // kAnswered
};

// Issues `request` with a PendingRequest and sleeps in `wait` until the SDK
// thread hands the response over.  Owner thread; the caller decides what a
// failure raises.  An abandoned wait leaves the answer to the record.
template <class Record>
SyncOutcome issue_request_and_wait(Request<Record> &&request, AnswerWaiter wait = wait_until_answered)
{
    Request<Record> owned(std::move(request));
    PendingRef pending(PendingRequest::create());
    if (!pending)
        return SyncOutcome{SyncOutcome::kNoEvent, 0, SyncResponse()};  // never in flight
    owned->base.user_pointer = pending.get();
    return issue_pending(&owned.release()->base, pending, wait);
}

// The untyped part: `request` is already owned by the caller's SDK hand-off.
SyncOutcome issue_pending(sdk_req_base_t *request, const PendingRef &pending, AnswerWaiter wait);

}  // namespace talkwire

#endif
