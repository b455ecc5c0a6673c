// Posted messages: order, WM_QUIT, filters, cross-thread delivery.
#include "test_support.h"

#include <vector>

using twtest::code;

namespace {

class Queue : public ::testing::Test {
protected:
    void SetUp() override { twtest::drain_queue(); }
    void TearDown() override { twtest::drain_queue(); }
};

TEST_F(Queue, ThreadMessagesArriveInPostOrderWithTheirFields)
{
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 1, 10, 20));
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 2, 11, 21));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 3, 12, -22));

    MSG msg;
    for (UINT i = 0; i < 3; ++i) {
        ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
        EXPECT_EQ(msg.hwnd, nullptr);
        EXPECT_EQ(msg.message, WM_USER + 1 + i);
        EXPECT_EQ(msg.wParam, 10u + i);
        EXPECT_EQ(msg.lParam, i == 2 ? -22 : LPARAM(20 + i));
    }
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Queue, QuitComesAfterPendingPostsAndOnlyOnce)
{
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 1, 0, 0));
    PostQuitMessage(7);
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 2, 0, 0));

    MSG msg;
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, WM_USER + 1u);
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, WM_USER + 2u);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, code(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Queue, QuitSkipsFiltersButYieldsToMatchingPosts)
{
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 1, 0, 0));
    PostQuitMessage(3);

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 1, WM_USER + 1, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1u);
    // Nothing matches this range, so the quit is due even though it is out of range.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 9, PM_NOREMOVE));
    EXPECT_EQ(msg.message, code(WM_QUIT));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 9, PM_REMOVE));
    EXPECT_EQ(msg.message, code(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);

    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Queue, PeekFiltersByRangeAndWindow)
{
    HWND window = twtest::make_window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 1, 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 2, 2, 0));
    ASSERT_TRUE(PostMessageA(window, WM_USER + 3, 3, 0));

    MSG msg;
    const HWND thread_only = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
    ASSERT_TRUE(PeekMessageA(&msg, thread_only, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 2u);
    EXPECT_EQ(msg.hwnd, nullptr);

    ASSERT_TRUE(PeekMessageA(&msg, window, WM_USER + 3, WM_USER + 3, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(msg.hwnd, window);

    for (int i = 0; i < 2; ++i) {  // PM_NOREMOVE leaves it at the head
        ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_NOREMOVE));
        EXPECT_EQ(msg.message, WM_USER + 1u);
    }
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER + 3, WM_USER + 100, PM_REMOVE));

    ASSERT_GT(GetMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 2), 0);
    EXPECT_EQ(msg.wParam, 2u);
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.wParam, 1u);

    ASSERT_TRUE(DestroyWindow(window));
    SetLastError(0);
    EXPECT_EQ(GetMessageA(&msg, window, 0, 0), -1);
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Queue, GetMessageWaitsForAPostFromAnotherThread)
{
    const DWORD me = GetCurrentThreadId();
    twtest::TestThread poster([me]() -> DWORD {
        Sleep(50);
        return PostThreadMessageA(me, WM_USER + 7, 70, 0) ? 0 : GetLastError();
    });
    MSG msg;
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, WM_USER + 7u);
    EXPECT_EQ(msg.wParam, 70u);
    EXPECT_EQ(poster.join(), 0u);
}

TEST(ThreadMessages, NeedTheTargetThreadsQueue)
{
    SetLastError(0);
    EXPECT_FALSE(PostThreadMessageA(0xFFFFFFF0u, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), code(twtest::under_wine() ? ERROR_INVALID_PARAMETER : ERROR_INVALID_THREAD_ID));

    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    twtest::TestThread loop([&]() -> DWORD {
        WaitForSingleObject(go, INFINITE);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
        SetEvent(ready);
        DWORD received = 0;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0)
            ++received;
        return received * 100 + static_cast<DWORD>(msg.wParam);
    });

    // The thread has not touched messages yet, so it has no queue.
    SetLastError(0);
    EXPECT_FALSE(PostThreadMessageA(loop.id(), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_THREAD_ID));

    SetEvent(go);
    ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(PostThreadMessageA(loop.id(), WM_USER + i, 0, 0));
    EXPECT_TRUE(PostThreadMessageA(loop.id(), WM_QUIT, 9, 0));
    EXPECT_EQ(loop.join(), 309u);

    SetLastError(0);
    EXPECT_FALSE(PostThreadMessageA(loop.id(), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_THREAD_ID));
    CloseHandle(go);
    CloseHandle(ready);
}

#ifndef _WIN32
// The Windows quota is a per-host setting; ours is fixed at its default.
TEST_F(Queue, FullQueueRefusesPostsWithQuotaError)
{
    DWORD accepted = 0;
    while (PostMessageA(nullptr, WM_USER, accepted, 0) && accepted < 20000)
        ++accepted;
    EXPECT_EQ(accepted, 10000u);
    EXPECT_EQ(GetLastError(), code(ERROR_NOT_ENOUGH_QUOTA));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(PostMessageA(nullptr, WM_USER, 0, 0));
}
#endif

// Several senders, window and thread messages mixed, dispatched to the
// procedure: every message arrives once, in each sender's order.
TEST(CrossThread, ManySendersEachMessageOnceInSenderOrder)
{
    constexpr DWORD kSenders = 4;
    constexpr LPARAM kPerSender = 25000;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HWND> window{nullptr};

    twtest::TestThread consumer([&]() -> DWORD {
        std::vector<LPARAM> next(kSenders, 0);
        DWORD faults = 0;
        LPARAM total = 0;
        auto take = [&](WPARAM sender, LPARAM seq) {
            if (sender >= kSenders || seq != next[sender])
                ++faults;
            else
                ++next[sender];
            ++total;
        };
        twtest::HandlerScope scope([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_USER) {
                take(wp, lp);
                return 1;
            }
            return DefWindowProcA(h, m, wp, lp);
        });
        HWND own = twtest::make_window();
        window = own;
        SetEvent(ready);
        if (!own)
            return 1000000;
        MSG msg;
        while (total < static_cast<LPARAM>(kSenders) * kPerSender && GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (msg.hwnd == nullptr && msg.message == WM_USER)
                take(msg.wParam, msg.lParam);
            else if (msg.hwnd == own && DispatchMessageA(&msg) != 1)
                ++faults;
        }
        DestroyWindow(own);
        return faults;
    });
    ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
    ASSERT_NE(window.load(), nullptr);

    std::atomic<DWORD> send_errors{0};
    std::vector<std::unique_ptr<twtest::TestThread>> senders;
    for (DWORD s = 0; s < kSenders; ++s) {
        senders.emplace_back(new twtest::TestThread([&, s]() -> DWORD {
            for (LPARAM seq = 0; seq < kPerSender; ++seq) {
                for (;;) {
                    BOOL ok = s % 2 ? PostThreadMessageA(consumer.id(), WM_USER, s, seq)
                                    : PostMessageA(window.load(), WM_USER, s, seq);
                    if (ok)
                        break;
                    if (GetLastError() != code(ERROR_NOT_ENOUGH_QUOTA)) {
                        ++send_errors;
                        return 1;
                    }
                    Sleep(0);
                }
            }
            return 0;
        }));
    }
    for (auto &sender : senders)
        EXPECT_EQ(sender->join(), 0u);
    EXPECT_EQ(consumer.join(), 0u);
    EXPECT_EQ(send_errors.load(), 0u);
    CloseHandle(ready);
}

// Posts racing DestroyWindow: once destroyed, a window never shows up in
// its thread's queue again.
TEST(CrossThread, PostsRacingDestroyNeverReachADeadWindow)
{
    if (twtest::under_wine())
        GTEST_SKIP() << "wine queues a post that races DestroyWindow for the dead window";
    std::atomic<HWND> current{nullptr};
    std::atomic<bool> done{false};
    twtest::TestThread owner([&]() -> DWORD {
        DWORD stale = 0;
        MSG msg;
        for (int round = 0; round < 150; ++round) {
            HWND w = twtest::make_window();
            if (!w) {
                done = true;  // lets the poster stop
                return 1000000;
            }
            current = w;
            // Destroy while the poster is known to be hitting this window.
            for (int arrived = 0; arrived < 50;) {
                if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                    continue;
                stale += msg.hwnd && !IsWindow(msg.hwnd);
                arrived += msg.hwnd == w;
            }
            DestroyWindow(w);
        }
        done = true;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            stale += msg.hwnd && !IsWindow(msg.hwnd);
        return stale;
    });
    auto poster = [&]() -> DWORD {
        DWORD unexpected = 0;
        while (!done) {
            HWND w = current.load();
            if (w && !PostMessageA(w, WM_USER, 0, 0) && GetLastError() != code(ERROR_INVALID_WINDOW_HANDLE) &&
                GetLastError() != code(ERROR_NOT_ENOUGH_QUOTA))
                ++unexpected;
        }
        return unexpected;
    };
    twtest::TestThread other(poster);
    EXPECT_EQ(owner.join(), 0u);
    EXPECT_EQ(other.join(), 0u);
}

}  // namespace
