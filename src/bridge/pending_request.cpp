#include "bridge/pending_request.h"

#include <thread>

namespace talkwire {

bool is_synchronous_response_type(int response_type)
{
    switch (response_type) {
    case sdk_response_sessiongroup_create:
    case sdk_response_aux_get_capture_devices:
    case sdk_response_aux_get_render_devices:
    case sdk_response_aux_set_capture_device:
    case sdk_response_aux_set_render_device:
    case sdk_response_aux_capture_audio_start:
    case sdk_response_aux_capture_audio_stop:
    case sdk_response_aux_get_mic_level:
    case sdk_response_aux_get_speaker_level:
    case sdk_response_aux_set_mic_level:
    case sdk_response_aux_set_speaker_level:
        return true;
    default:
        return false;
    }
}

PendingRequest *PendingRequest::create()
{
    auto *pending = new PendingRequest;
    if (!pending->event_) {
        delete pending;
        return nullptr;
    }
    return pending;
}

PendingRequest::PendingRequest()
    : event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)), caller_thread_(GetCurrentThreadId())
{
}

PendingRequest::~PendingRequest()
{
    if (event_)
        CloseHandle(event_);
    // A response nobody took goes as a taken one would.  The post's outcome
    // is known: the SDK thread dropped its reference after recording it.
    if (response_)
        take();
}

void PendingRequest::release()
{
    if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

void PendingRequest::hand_off(sdk_resp_base_t *response)
{
    response_ = response;
    SetEvent(event_);
}

void PendingRequest::post_outcome(bool posted)
{
    post_state_.store(posted ? kPosted : kPostFailed, std::memory_order_release);
    release();
}

SyncResponse PendingRequest::take()
{
    // The post follows the hand-off within a few instructions on the SDK
    // thread; yield until its outcome is known.
    int state;
    while ((state = post_state_.load(std::memory_order_acquire)) == kPostPending)
        std::this_thread::yield();
    return SyncResponse(std::exchange(response_, nullptr),
                        state == kPostFailed ? SyncResponse::kCallerOnly : SyncResponse::kPostedAndHeld);
}

AnswerWait wait_until_answered(HANDLE event)
{
    return WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0 ? AnswerWait::answered : AnswerWait::failed;
}

SyncOutcome issue_pending(sdk_req_base_t *request, const PendingRef &pending, AnswerWaiter wait)
{
    int result = sdk_issue_request(request);
    if (result != 0) {
        pending->release();  // the SDK never answers a refused request: the carried reference is ours
        return SyncOutcome{SyncOutcome::kRefused, result, SyncResponse()};
    }
    switch (wait(pending->event())) {
    case AnswerWait::answered:
        return SyncOutcome{SyncOutcome::kAnswered, 0, pending->take()};
    case AnswerWait::abandoned:
        return SyncOutcome{SyncOutcome::kAbandoned, 0, SyncResponse()};
    case AnswerWait::failed:
        break;
    }
    return SyncOutcome{SyncOutcome::kWaitFailed, 0, SyncResponse()};
}

}  // namespace talkwire
