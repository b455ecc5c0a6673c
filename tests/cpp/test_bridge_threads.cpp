// The synchronous hand-off when the SDK gives a caller's answer to the
// handler of a connector that lives on another thread: that connector's
// thread must never get (and release) the answer the caller is reading.
#include "bridge/pending_request.h"
#include "bridge/sdk_request.h"
#include "recording_sink.h"
#include "voicesdk/control.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace talkwire {
namespace {

long live_responses()
{
    sdk_ctl_live_t counts;
    sdk_ctl_live(&counts);
    return counts.responses;
}

long live_events()
{
    sdk_ctl_live_t counts;
    sdk_ctl_live(&counts);
    return counts.events;
}

void post_events(int count)
{
    for (int i = 0; i < count; ++i) {
        sdk_evt_base_t *event = sdk_ctl_event_create(kOtherEvent);
        sdk_ctl_post(&event->message);
    }
}

void drain_thread_queue()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

class BridgeThreadsTest : public ::testing::Test {
protected:
    void SetUp() override { sdk_ctl_reset(); }
    void TearDown() override { sdk_ctl_reset(); }
};

TEST_F(BridgeThreadsTest, AnswerForAnotherThreadStaysWithItsCaller)
{
    RecordingSink first;  // registered first: the SDK hands it every message
    sdk_resp_base_t *prototype = sdk_ctl_response_create(sdk_response_aux_get_mic_level, nullptr);
    reinterpret_cast<sdk_resp_aux_get_mic_level_t *>(prototype)->level = 61;
    sdk_ctl_answer(sdk_request_aux_get_mic_level, prototype, 0);

    int level = 0;
    long live_while_read = -1;
    std::thread caller([&] {
        CookieCounter cookies;
        SyncOutcome outcome = issue_request_and_wait(make_request(sdk_req_aux_get_mic_level_create, cookies));
        ASSERT_EQ(outcome.status, SyncOutcome::kAnswered);
        level = outcome.response.as<sdk_resp_aux_get_mic_level_t>()->level;
        live_while_read = live_responses();
    });
    caller.join();
    EXPECT_EQ(level, 61);
    EXPECT_EQ(live_while_read, 1);
    // The caller released it; nothing reached the other thread's sink.
    ASSERT_EQ(sdk_ctl_flush(5.0), 1);
    drain_thread_queue();
    EXPECT_TRUE(first.received.empty());
    EXPECT_EQ(live_responses(), 0);
}

TEST_F(BridgeThreadsTest, AnswerOnTheCallersThreadIsStillPosted)
{
    RecordingSink mine;
    sdk_resp_base_t *prototype = sdk_ctl_response_create(sdk_response_aux_get_mic_level, nullptr);
    sdk_ctl_answer(sdk_request_aux_get_mic_level, prototype, 0);
    CookieCounter cookies;
    {
        SyncOutcome outcome = issue_request_and_wait(make_request(sdk_req_aux_get_mic_level_create, cookies));
        ASSERT_EQ(outcome.status, SyncOutcome::kAnswered);
    }
    EXPECT_EQ(live_responses(), 1);  // waits in the mailbox for this thread's pump
    ASSERT_EQ(sdk_ctl_flush(5.0), 1);
    drain_thread_queue();
    EXPECT_EQ(mine.received.size(), 1u);
    EXPECT_EQ(live_responses(), 0);
}

// A sink made on a thread that ends while it holds delivered messages; the
// sink itself outlives the thread.
class OrphanedSink {
public:
    explicit OrphanedSink(int delivered_before_the_end)
    {
        std::thread owner([&] {
            sink_.reset(new RecordingSink);
            post_events(delivered_before_the_end);
            sdk_ctl_flush(5.0);  // into its mailbox; the wake-up is never pumped
        });
        owner.join();
    }
    RecordingSink &sink() { return *sink_; }
    void drop() { sink_.reset(); }

private:
    std::unique_ptr<RecordingSink> sink_;
};

TEST_F(BridgeThreadsTest, SinkOfAnEndedThreadLeavesTheMessagesToALiveOne)
{
    OrphanedSink orphan(7);
    EXPECT_FALSE(IsWindow(orphan.sink().message_window()));
    RecordingSink live;  // registered second
    post_events(300);
    ASSERT_EQ(sdk_ctl_flush(5.0), 1);
    // What waited for the dead window went when its handler found it gone.
    EXPECT_EQ(live_events(), 300);
    drain_thread_queue();
    EXPECT_EQ(live.received.size(), 300u);
    EXPECT_TRUE(orphan.sink().received.empty());
    orphan.drop();  // on a thread not its own
    EXPECT_EQ(live_events(), 0);
}

TEST_F(BridgeThreadsTest, SinkDroppedOnAnotherThreadHandsItsWindowToItsOwn)
{
    auto *sink = new RecordingSink;
    HWND window = sink->message_window();
    post_events(5);
    ASSERT_EQ(sdk_ctl_flush(5.0), 1);
    std::thread([sink] { delete sink; }).join();
    EXPECT_EQ(live_events(), 0);  // its mailbox went with it
    EXPECT_TRUE(IsWindow(window));  // the system refuses to destroy it from there
    drain_thread_queue();
    EXPECT_FALSE(IsWindow(window));
}

}  // namespace
}  // namespace talkwire
