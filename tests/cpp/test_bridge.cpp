// The message bridge without an interpreter: windows per sink, delivery from
// the SDK thread through the pump, the synchronous hand-off, and release of
// every message on every road.
#include "bridge/notification_handler.h"
#include "bridge/pending_request.h"
#include "bridge/sdk_request.h"
#include "bridge/window_registry.h"
#include "recording_sink.h"
#include "voicesdk/control.h"

#ifndef _WIN32
#include "twplatform/faults.h"
#endif

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace talkwire {
namespace {

sdk_ctl_live_t live()
{
    sdk_ctl_live_t counts;
    sdk_ctl_live(&counts);
    return counts;
}

// Delivers what the SDK queued and dispatches it on this thread.
void pump()
{
    ASSERT_EQ(sdk_ctl_flush(5.0), 1);
    PostQuitMessage(0);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
}

sdk_evt_base_t *post_event(int event_type)
{
    sdk_evt_base_t *event = sdk_ctl_event_create(event_type);
    sdk_ctl_post(&event->message);
    return event;
}

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override { sdk_ctl_reset(); }
    void TearDown() override
    {
        sdk_ctl_flush(5.0);
        sdk_ctl_live_t counts = live();
        EXPECT_EQ(counts.requests, 0);
        EXPECT_EQ(counts.responses, 0);
        EXPECT_EQ(counts.events, 0);
        sdk_ctl_reset();
    }
};

TEST_F(BridgeTest, EventsReachTheSinkInOrderThroughThePump)
{
    RecordingSink sink;
    ASSERT_NE(sink.message_window(), nullptr);
    std::vector<const void *> posted;
    for (int i = 0; i < 100; ++i)
        posted.push_back(post_event(kOtherEvent));
    pump();
    EXPECT_EQ(sink.received, posted);
}

TEST_F(BridgeTest, EverySinkGetsItsOwnWindow)
{
    RecordingSink first;
    RecordingSink second;
    ASSERT_NE(second.message_window(), nullptr);
    EXPECT_NE(first.message_window(), second.message_window());
    // The first registered handler drains the queue into its window.
    post_event(kOtherEvent);
    pump();
    EXPECT_EQ(first.received.size(), 1u);
    EXPECT_TRUE(second.received.empty());
}

TEST_F(BridgeTest, WindowMissingFromTheRegistryIsNotDelivered)
{
    RecordingSink sink;
    window_registry::erase(sink.message_window());
    post_event(kOtherEvent);
    pump();
    EXPECT_TRUE(sink.received.empty());
    window_registry::insert(sink.message_window(), &sink);
    // Still in the mailbox: released when the sink goes (checked on tear-down).
}

TEST_F(BridgeTest, OneWakeUpCarriesABurst)
{
    RecordingSink sink;
    sdk_evt_base_t *prototype = sdk_ctl_event_create(kOtherEvent);
    ASSERT_EQ(sdk_ctl_event_burst(prototype, 5000), 0);
    destroy_evt(prototype);
    pump();
    EXPECT_EQ(sink.received.size(), 5000u);
    EXPECT_LT(sink.wakes, 5000);
}

TEST_F(BridgeTest, DestroyingTheWindowReleasesQueuedMessages)
{
    auto *sink = new RecordingSink;
    for (int i = 0; i < 10; ++i)
        post_event(kOtherEvent);
    ASSERT_EQ(sdk_ctl_flush(5.0), 1);
    delete sink;
    EXPECT_EQ(live().events, 0);
}

TEST_F(BridgeTest, SynchronousResponseIsHandedOffAndStillPosted)
{
    RecordingSink sink;
    sdk_resp_base_t *prototype = sdk_ctl_response_create(sdk_response_aux_get_mic_level, nullptr);
    reinterpret_cast<sdk_resp_aux_get_mic_level_t *>(prototype)->level = 42;
    ASSERT_EQ(sdk_ctl_answer(sdk_request_aux_get_mic_level, prototype, 0), 0);

    CookieCounter cookies;
    SyncOutcome outcome = issue_request_and_wait(make_request(sdk_req_aux_get_mic_level_create, cookies));
    ASSERT_EQ(outcome.status, SyncOutcome::kAnswered);
    const void *handed = outcome.response.get();
    EXPECT_EQ(outcome.response.as<sdk_resp_aux_get_mic_level_t>()->level, 42);
    outcome = SyncOutcome{SyncOutcome::kRefused, 0, SyncResponse()};
    pump();
    ASSERT_EQ(sink.received.size(), 1u);
    EXPECT_EQ(sink.received[0], handed);
}

TEST_F(BridgeTest, AnswerStillReadIsLeftToItsReader)
{
    sdk_resp_base_t *prototype = sdk_ctl_response_create(sdk_response_aux_get_mic_level, nullptr);
    ASSERT_EQ(sdk_ctl_answer(sdk_request_aux_get_mic_level, prototype, 0), 0);
    CookieCounter cookies;
    for (bool sink_goes : {false, true}) {
        auto *sink = new RecordingSink;
        SyncOutcome outcome = issue_request_and_wait(make_request(sdk_req_aux_get_mic_level_create, cookies));
        ASSERT_EQ(outcome.status, SyncOutcome::kAnswered);
        post_event(kOtherEvent);
        // The posted copy reaches the pump, or the sink's mailbox closes on
        // it, while its reader still has it.
        if (sink_goes) {
            ASSERT_EQ(sdk_ctl_flush(5.0), 1);
            delete sink;
            sink = nullptr;
        } else {
            pump();
            EXPECT_EQ(sink->received.size(), 1u);  // the event alone
        }
        EXPECT_EQ(live().responses, 1) << sink_goes;
        outcome = SyncOutcome{SyncOutcome::kRefused, 0, SyncResponse()};
        EXPECT_EQ(live().responses, 0) << sink_goes;
        delete sink;
    }
}

TEST_F(BridgeTest, SynchronousAnswerKeepsItsPlaceAmongEvents)
{
    RecordingSink sink;
    sdk_resp_base_t *prototype = sdk_ctl_response_create(sdk_response_aux_get_mic_level, nullptr);
    ASSERT_EQ(sdk_ctl_answer(sdk_request_aux_get_mic_level, prototype, 0), 0);
    // More events than the handler delivers in one group, on both sides of
    // the answer.
    std::vector<const void *> expected;
    for (int i = 0; i < 150; ++i)
        expected.push_back(post_event(kOtherEvent));
    CookieCounter cookies;
    SyncOutcome outcome = issue_request_and_wait(make_request(sdk_req_aux_get_mic_level_create, cookies));
    ASSERT_EQ(outcome.status, SyncOutcome::kAnswered);
    expected.push_back(outcome.response.get());
    outcome = SyncOutcome{SyncOutcome::kRefused, 0, SyncResponse()};
    for (int i = 0; i < 150; ++i)
        expected.push_back(post_event(kOtherEvent));
    pump();
    EXPECT_EQ(sink.received, expected);
}

TEST_F(BridgeTest, OnlyTheSynchronousSetIsHandedOff)
{
    constexpr int kUnlistedResponse = 95;  // no response type the SDK has
    RecordingSink sink;
    PendingRef pending(PendingRequest::create());
    ASSERT_TRUE(pending);
    sdk_req_base_t *request = sdk_ctl_request_create(sdk_request_aux_get_mic_level);
    request->user_pointer = pending.get();
    sdk_resp_base_t *response = sdk_ctl_response_create(kUnlistedResponse, request);
    destroy_req(request);  // the response keeps it readable
    sdk_ctl_post(&response->message);
    pump();
    EXPECT_EQ(WaitForSingleObject(pending->event(), 0), DWORD(WAIT_TIMEOUT));
    pending->release();  // the reference the request would have carried
    EXPECT_EQ(sink.received.size(), 1u);
    for (int type : {sdk_response_sessiongroup_create, sdk_response_aux_get_capture_devices,
                     sdk_response_aux_get_render_devices, sdk_response_aux_set_capture_device,
                     sdk_response_aux_set_render_device, sdk_response_aux_capture_audio_start,
                     sdk_response_aux_capture_audio_stop, sdk_response_aux_get_mic_level,
                     sdk_response_aux_get_speaker_level, sdk_response_aux_set_mic_level,
                     sdk_response_aux_set_speaker_level})
        EXPECT_TRUE(is_synchronous_response_type(type)) << type;
    for (int type : std::initializer_list<int>{sdk_response_connector_create, sdk_response_connector_initiate_shutdown,
                                               sdk_response_account_login, sdk_response_sessiongroup_add_session,
                                               sdk_response_account_logout, sdk_response_aux_connectivity_info, 95,
                                               96, 99})
        EXPECT_FALSE(is_synchronous_response_type(type)) << type;
}

// A caller that stops waiting (Ctrl-C) goes before its answer comes.
AnswerWait give_up(HANDLE) { return AnswerWait::abandoned; }

// Answers the last recorded request with a response of `type`, as the SDK
// would later on.
void answer_last_request(int type)
{
    size_t count = 0;
    sdk_ctl_recorded_t *recorded = sdk_ctl_requests(&count);
    ASSERT_GT(count, 0u);
    sdk_resp_base_t *response = sdk_ctl_response_create(type, recorded[count - 1].request);
    sdk_ctl_requests_free(recorded, count);
    ASSERT_NE(response, nullptr);
    sdk_ctl_post(&response->message);
}

TEST_F(BridgeTest, AnAbandonedWaitsLateAnswerIsReleasedThroughThePump)
{
    RecordingSink sink;
    CookieCounter cookies;
    SyncOutcome outcome =
        issue_request_and_wait(make_request(sdk_req_aux_get_mic_level_create, cookies), give_up);
    EXPECT_EQ(outcome.status, SyncOutcome::kAbandoned);
    answer_last_request(sdk_response_aux_get_mic_level);
    pump();
    EXPECT_EQ(sink.received.size(), 1u);
}

TEST_F(BridgeTest, AnAbandonedWaitsLateAnswerIsReleasedWhenNoQueueTakesIt)
{
    Mailbox closed;  // a connector whose window could not be created
    sdk_register_message_notification_handler(notification_handler, &closed);
    CookieCounter cookies;
    SyncOutcome outcome =
        issue_request_and_wait(make_request(sdk_req_aux_get_speaker_level_create, cookies), give_up);
    EXPECT_EQ(outcome.status, SyncOutcome::kAbandoned);
    answer_last_request(sdk_response_aux_get_speaker_level);
    // A second answer to the same request finds no caller's record.
    answer_last_request(sdk_response_aux_get_speaker_level);
    ASSERT_EQ(sdk_ctl_flush(5.0), 1);
    EXPECT_EQ(live().responses, 0);
    sdk_unregister_message_notification_handler(notification_handler, &closed);
}

TEST_F(BridgeTest, RefusedSynchronousIssueNeverWaits)
{
    sdk_ctl_refuse(17, 1);
    CookieCounter cookies;
    SyncOutcome outcome = issue_request_and_wait(make_request(sdk_req_aux_get_mic_level_create, cookies));
    EXPECT_EQ(outcome.status, SyncOutcome::kRefused);
    EXPECT_EQ(outcome.code, 17);
    EXPECT_EQ(cookies.peek(), 2);
}

TEST_F(BridgeTest, SynchronousCallerWithoutWindowReleasesItsResponse)
{
    Mailbox closed;  // a connector whose window could not be created
    sdk_register_message_notification_handler(notification_handler, &closed);
    sdk_resp_base_t *prototype = sdk_ctl_response_create(sdk_response_aux_get_speaker_level, nullptr);
    sdk_ctl_answer(sdk_request_aux_get_speaker_level, prototype, 0);
    CookieCounter cookies;
    {
        SyncOutcome outcome =
            issue_request_and_wait(make_request(sdk_req_aux_get_speaker_level_create, cookies));
        ASSERT_EQ(outcome.status, SyncOutcome::kAnswered);
        EXPECT_EQ(live().responses, 1);
    }
    EXPECT_EQ(live().responses, 0);
    // Other messages for no window are released by the handler.
    post_event(kOtherEvent);
    ASSERT_EQ(sdk_ctl_flush(5.0), 1);
    EXPECT_EQ(live().events, 0);
    sdk_unregister_message_notification_handler(notification_handler, &closed);
}

#ifndef _WIN32
TEST_F(BridgeTest, FailedWakeUpDelaysButLosesNothing)
{
    RecordingSink sink;
    twplat_inject_fault(twplat_fault_post_message, 1, ERROR_NOT_ENOUGH_QUOTA);
    post_event(kOtherEvent);
    ASSERT_EQ(sdk_ctl_flush(5.0), 1);
    // The wake-up was lost; the next delivery posts again and carries both.
    post_event(kOtherEvent);
    pump();
    EXPECT_EQ(sink.received.size(), 2u);
    twplat_clear_faults();
}
#endif

TEST_F(BridgeTest, UnissuedRequestIsReleased)
{
    CookieCounter cookies;
    {
        auto request = make_request(sdk_req_account_login_create, cookies);
        request.text(&sdk_req_account_login_t::account_name, "alice");
        EXPECT_TRUE(request.complete());
        EXPECT_EQ(live().requests, 1);
    }
    EXPECT_EQ(live().requests, 0);
}

TEST(CookieCounterTest, CountsFromOneAndWrapsLikeA32BitCounter)
{
    CookieCounter cookies;
    char *first = cookies.next();
    char *second = cookies.next();
    EXPECT_STREQ(first, "1");
    EXPECT_STREQ(second, "2");
    sdk_req_base_t *holder = sdk_ctl_request_create(sdk_request_account_logout);
    holder->cookie = first;  // released with the request
    destroy_req(holder);
    holder = sdk_ctl_request_create(sdk_request_account_logout);
    holder->cookie = second;
    destroy_req(holder);
}

}  // namespace
}  // namespace talkwire
