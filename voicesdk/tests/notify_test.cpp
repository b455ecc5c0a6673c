// The message queue and the notification thread.
#include "sdk_fixture.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A handler's state: what it took and from which thread.
struct Taker {
    std::atomic<int> calls{0};
    std::atomic<int> taken{0};
    bool take = true;
    std::mutex mutex;
    std::vector<int> event_types;
    std::vector<std::thread::id> threads;

    static void handler(void *user_data)
    {
        auto *self = static_cast<Taker *>(user_data);
        self->calls.fetch_add(1);
        if (!self->take)
            return;
        sdk_message_base_t *message = nullptr;
        while (sdk_get_message(&message) == 0) {
            {
                std::lock_guard<std::mutex> lock(self->mutex);
                self->event_types.push_back(reinterpret_cast<sdk_evt_base_t *>(message)->event_type);
                self->threads.push_back(std::this_thread::get_id());
            }
            self->taken.fetch_add(1);
            destroy_msg(message);
        }
    }
    int reg() { return sdk_register_message_notification_handler(handler, this); }
    int unreg() { return sdk_unregister_message_notification_handler(handler, this); }
};

// Takes one message per call, so every registered handler gets a turn.
struct OneAtATime {
    static std::mutex order_mutex;
    static std::vector<int> order;
    int id;
    static void handler(void *user_data)
    {
        sdk_message_base_t *message = nullptr;
        if (sdk_get_message(&message) != 0)
            return;
        {
            std::lock_guard<std::mutex> lock(order_mutex);
            order.push_back(static_cast<OneAtATime *>(user_data)->id);
        }
        destroy_msg(message);
    }
};
std::mutex OneAtATime::order_mutex;
std::vector<int> OneAtATime::order;

void post_events(int count, int type = 1)
{
    for (int i = 0; i < count; ++i)
        sdk_ctl_post(&sdk_ctl_event_create(type)->message);
}

using NotifyTest = SdkTest;

TEST_F(NotifyTest, GetMessageIsFifoAndReportsAnEmptyQueue)
{
    sdk_message_base_t *message = nullptr;
    EXPECT_NE(sdk_get_message(&message), 0);
    EXPECT_NE(sdk_get_message(nullptr), 0);
    post_events(1, 4);
    post_events(1, 5);
    std::vector<sdk_message_base_t *> messages = take_all();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(reinterpret_cast<sdk_evt_base_t *>(messages[0])->event_type, 4);
    EXPECT_EQ(reinterpret_cast<sdk_evt_base_t *>(messages[1])->event_type, 5);
    destroy_all(messages);
}

TEST_F(NotifyTest, MessagesWaitForAHandlerAndArriveOnTheNotificationThread)
{
    post_events(3);
    EXPECT_FALSE(sdk_ctl_flush(5.0)) << "nobody is there to take them";
    Taker taker;
    ASSERT_EQ(taker.reg(), 0);
    EXPECT_NE(taker.reg(), 0) << "the same pair twice";
    EXPECT_EQ(sdk_ctl_handler_count(), 1);
    EXPECT_TRUE(sdk_ctl_flush(5.0));
    EXPECT_EQ(taker.taken.load(), 3);
    for (std::thread::id id : taker.threads)
        EXPECT_NE(id, std::this_thread::get_id());
    EXPECT_EQ(taker.unreg(), 0);
    EXPECT_NE(taker.unreg(), 0);
    EXPECT_EQ(sdk_ctl_handler_count(), 0);
}

TEST_F(NotifyTest, HandlersAreCalledInRegistrationOrder)
{
    OneAtATime first{1}, second{2}, third{3};
    OneAtATime::order.clear();
    // Register with the queue empty, then queue three: each round calls
    // first, second, third and each takes one.
    ASSERT_EQ(sdk_register_message_notification_handler(OneAtATime::handler, &first), 0);
    ASSERT_EQ(sdk_register_message_notification_handler(OneAtATime::handler, &second), 0);
    ASSERT_EQ(sdk_register_message_notification_handler(OneAtATime::handler, &third), 0);
    std::vector<sdk_message_base_t *> batch;
    for (int i = 0; i < 3; ++i)
        batch.push_back(&sdk_ctl_event_create(1)->message);
    // Queued in one go so the first round sees all three.
    sdk_ctl_event_burst(reinterpret_cast<sdk_evt_base_t *>(batch[0]), 3);
    destroy_all(batch);
    EXPECT_TRUE(sdk_ctl_flush(5.0));
    EXPECT_EQ(OneAtATime::order, (std::vector<int>{1, 2, 3}));
    // The first registered that is still registered takes what comes next.
    sdk_unregister_message_notification_handler(OneAtATime::handler, &first);
    OneAtATime::order.clear();
    post_events(1);
    EXPECT_TRUE(sdk_ctl_flush(5.0));
    EXPECT_EQ(OneAtATime::order, std::vector<int>{2});
    sdk_unregister_message_notification_handler(OneAtATime::handler, &second);
    sdk_unregister_message_notification_handler(OneAtATime::handler, &third);
}

TEST_F(NotifyTest, EachMessageIsDeliveredExactlyOnceUnderConcurrentPosting)
{
    Taker a, b;
    ASSERT_EQ(a.reg(), 0);
    ASSERT_EQ(b.reg(), 0);
    constexpr int threads = 4, per_thread = 2000;
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t)
        posters.emplace_back([t] { post_events(per_thread, t + 1); });
    sdk_evt_base_t *prototype = sdk_ctl_event_create(9);
    EXPECT_EQ(sdk_ctl_event_burst(prototype, 1000), 0);
    destroy_evt(prototype);
    for (std::thread &poster : posters)
        poster.join();
    EXPECT_TRUE(sdk_ctl_flush(10.0));
    EXPECT_EQ(a.taken.load() + b.taken.load(), threads * per_thread + 1000);
    std::vector<int> per_type(10, 0);
    for (Taker *taker : {&a, &b})
        for (int type : taker->event_types)
            ++per_type[static_cast<size_t>(type)];
    for (int t = 1; t <= threads; ++t)
        EXPECT_EQ(per_type[static_cast<size_t>(t)], per_thread);
    EXPECT_EQ(per_type[9], 1000);
    a.unreg();
    b.unreg();
}

TEST_F(NotifyTest, UnregisterWaitsForTheRunningCall)
{
    struct Blocker {
        std::mutex mutex;
        std::condition_variable cv;
        bool entered = false, release = false, returned = false;
        static void handler(void *user_data)
        {
            auto *self = static_cast<Blocker *>(user_data);
            std::unique_lock<std::mutex> lock(self->mutex);
            self->entered = true;
            self->cv.notify_all();
            self->cv.wait(lock, [&] { return self->release; });
            self->returned = true;
        }
    } blocker;
    ASSERT_EQ(sdk_register_message_notification_handler(Blocker::handler, &blocker), 0);
    post_events(1);
    {
        std::unique_lock<std::mutex> lock(blocker.mutex);
        ASSERT_TRUE(blocker.cv.wait_for(lock, 5s, [&] { return blocker.entered; }));
    }
    std::atomic<bool> unregistered{false};
    std::thread remover([&] {
        EXPECT_EQ(sdk_unregister_message_notification_handler(Blocker::handler, &blocker), 0);
        std::lock_guard<std::mutex> lock(blocker.mutex);
        EXPECT_TRUE(blocker.returned) << "unregistration returned during the call";
        unregistered = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(unregistered.load());
    {
        std::lock_guard<std::mutex> lock(blocker.mutex);
        blocker.release = true;
    }
    blocker.cv.notify_all();
    remover.join();
    EXPECT_TRUE(unregistered.load());
    EXPECT_EQ(sdk_ctl_handler_count(), 0);
}

TEST_F(NotifyTest, AHandlerMayUnregisterItselfAndOthers)
{
    struct SelfRemover {
        Taker *other;
        std::atomic<int> calls{0};
        static void handler(void *user_data)
        {
            auto *self = static_cast<SelfRemover *>(user_data);
            self->calls.fetch_add(1);
            EXPECT_EQ(sdk_unregister_message_notification_handler(handler, self), 0);
            EXPECT_EQ(self->other->unreg(), 0);
        }
    };
    Taker later;
    SelfRemover remover{&later};
    ASSERT_EQ(sdk_register_message_notification_handler(SelfRemover::handler, &remover), 0);
    ASSERT_EQ(later.reg(), 0);
    post_events(1);
    // Nobody is left to take the message: flush gives up instead of hanging.
    EXPECT_FALSE(sdk_ctl_flush(5.0));
    EXPECT_EQ(remover.calls.load(), 1);
    EXPECT_EQ(later.calls.load(), 0) << "called after it was unregistered";
    EXPECT_EQ(sdk_ctl_handler_count(), 0);
}

TEST_F(NotifyTest, FlushTimesOutWhenHandlersLeaveMessagesQueued)
{
    Taker idle;
    idle.take = false;
    ASSERT_EQ(idle.reg(), 0);
    post_events(2);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(sdk_ctl_flush(0.2));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
    // Not spinning on the queue: one call per post or registration at most.
    int calls = idle.calls.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(idle.calls.load(), calls);
    EXPECT_LE(calls, 3);
    idle.unreg();
}

TEST_F(NotifyTest, AnsweredRequestsReachTheHandlerBeforeFlushReturns)
{
    Taker taker;
    ASSERT_EQ(taker.reg(), 0);
    answer_with(sdk_request_account_logout, 0, false);
    std::thread([] { EXPECT_EQ(issue_logout("x", reinterpret_cast<void *>(1)), 0); }).join();
    EXPECT_TRUE(sdk_ctl_flush(5.0));
    EXPECT_EQ(taker.taken.load(), 1);
    taker.unreg();
}

}  // namespace
