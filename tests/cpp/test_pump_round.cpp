// The host-loop pump's round and the quit target, without an interpreter:
// order and count of what a round dispatches, a quit left for Run, a round
// stopped early, and a quit posted from another thread.  Built for Windows
// too, where they run over the real user32.
#include "bridge/pump_round.h"
#include "bridge/quit_target.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace talkwire {
namespace {

constexpr UINT kProbe = WM_USER + 7;
std::vector<WPARAM> g_seen;  // wParam of every kProbe dispatched, in order

LRESULT CALLBACK probe_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == kProbe)
        g_seen.push_back(wparam);
    return DefWindowProcA(window, message, wparam, lparam);
}

HWND make_probe_window()
{
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = probe_proc;
    window_class.lpszClassName = "PumpRoundProbe";
    RegisterClassExA(&window_class);  // a second registration fails harmlessly
    return CreateWindowExA(0, "PumpRoundProbe", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

// Takes what is queued and reports whether a quit was among it.
bool drain_until_quit()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return true;
        DispatchMessageA(&message);
    }
    return false;
}

class PumpRoundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        drain_until_quit();
        g_seen.clear();
        first = make_probe_window();
        second = make_probe_window();
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(first);
        DestroyWindow(second);
        while (drain_until_quit()) {
        }
    }

    HWND first = nullptr;
    HWND second = nullptr;
};

TEST_F(PumpRoundTest, NothingWaitingDispatchesNothing)
{
    PumpRound round = pump_round();
    EXPECT_EQ(round.dispatched, 0u);
    EXPECT_FALSE(round.quit_pending);
    EXPECT_FALSE(round.stopped);
}

TEST_F(PumpRoundTest, EveryWindowOfTheThreadInQueueOrder)
{
    for (WPARAM i = 0; i < 6; ++i)
        ASSERT_TRUE(PostMessageA(i % 2 ? second : first, kProbe, i, 0));
    PumpRound round = pump_round();
    EXPECT_EQ(round.dispatched, 6u);
    EXPECT_EQ(g_seen, (std::vector<WPARAM>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(pump_round().dispatched, 0u);
}

TEST_F(PumpRoundTest, QuitIsLeftForTheThreadsRun)
{
    ASSERT_TRUE(PostMessageA(first, kProbe, 1, 0));
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0));
    ASSERT_TRUE(PostMessageA(first, kProbe, 2, 0));
    PumpRound round = pump_round();
    EXPECT_TRUE(round.quit_pending);
    EXPECT_EQ(g_seen, std::vector<WPARAM>{1});
    // Run's loop: what was queued behind it, then the quit.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    EXPECT_EQ(g_seen, (std::vector<WPARAM>{1, 2}));
    EXPECT_FALSE(drain_until_quit());
}

TEST_F(PumpRoundTest, PendingQuitDoesNotHoldBackPostedMessages)
{
    PostQuitMessage(0);
    ASSERT_TRUE(PostMessageA(first, kProbe, 1, 0));
    for (int round_number = 0; round_number < 2; ++round_number) {
        PumpRound round = pump_round();
        EXPECT_TRUE(round.quit_pending);
        EXPECT_EQ(round.dispatched, round_number == 0 ? 1u : 0u);
    }
    EXPECT_TRUE(drain_until_quit());
}

TEST_F(PumpRoundTest, StopAfterADispatchLeavesTheRestQueued)
{
    for (WPARAM i = 0; i < 4; ++i)
        ASSERT_TRUE(PostMessageA(first, kProbe, i, 0));
    PumpRound round = pump_round([] { return g_seen.size() == 2; });
    EXPECT_TRUE(round.stopped);
    EXPECT_EQ(round.dispatched, 2u);
    EXPECT_EQ(pump_round().dispatched, 2u);
    EXPECT_EQ(g_seen, (std::vector<WPARAM>{0, 1, 2, 3}));
}

TEST(QuitTargetTest, QuitFromAnotherThreadEndsTheThreadsLoop)
{
    QuitTarget target;
    EXPECT_EQ(target.thread_id(), GetCurrentThreadId());
    // Posted before this thread ever waits: kept in its queue.
    std::thread([&] { EXPECT_TRUE(target.post_quit()); }).join();
    MSG message;
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), 0);
}

TEST(QuitTargetTest, QuitForAnEndedThreadIsRefused)
{
    QuitTarget *target = nullptr;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID param) -> DWORD {
            *static_cast<QuitTarget **>(param) = new QuitTarget;
            return 0;
        },
        &target, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    ASSERT_NE(target, nullptr);
    EXPECT_FALSE(target->post_quit());
    delete target;
    CloseHandle(thread);
}

}  // namespace
}  // namespace talkwire
