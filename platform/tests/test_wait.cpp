// twplat_wait: events, the thread's queue, signals and time-outs; the
// wake-up descriptor's level; threads that hold signals.
#include "test_support.h"
#include "twplatform/wait.h"

#ifndef _WIN32
#  include <poll.h>
#  include <pthread.h>
#  include <signal.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif
#ifdef __linux__
#  include <dirent.h>
#endif

#include <atomic>
#include <thread>

namespace {

class Wait : public ::testing::Test {
protected:
    void SetUp() override { twtest::drain_queue(); }
    void TearDown() override { twtest::drain_queue(); }

    static DWORD wait_once(HANDLE event, DWORD flags, DWORD milliseconds, HANDLE interrupt = nullptr)
    {
        twplat_wait_t wait;
        twplat_wait_prepare(&wait, interrupt);
        return twplat_wait(&wait, event, flags, milliseconds);
    }
};

TEST_F(Wait, AnEventSetBeforehandEndsItAtOnceAndAnAutoResetEventIsTaken)
{
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(wait_once(event, 0, INFINITE), DWORD(TWPLAT_WAIT_EVENT));
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(wait_once(event, 0, 10), DWORD(TWPLAT_WAIT_TIMEOUT));
    CloseHandle(event);
}

TEST_F(Wait, AnEventSetByAnotherThreadEndsIt)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    for (int round = 0; round < 200; ++round) {
        twtest::TestThread setter([event] { return SetEvent(event) ? 0u : 1u; });
        ASSERT_EQ(wait_once(event, 0, 30000), DWORD(TWPLAT_WAIT_EVENT)) << "round " << round;
        EXPECT_EQ(setter.join(), 0u);
    }
    CloseHandle(event);
}

TEST_F(Wait, AManualResetEventStaysSetForEveryWaiter)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::atomic<int> woken{0};
    {
        twtest::TestThread a([&] { return wait_once(event, 0, 30000) == TWPLAT_WAIT_EVENT ? (++woken, 0u) : 1u; });
        twtest::TestThread b([&] { return wait_once(event, 0, 30000) == TWPLAT_WAIT_EVENT ? (++woken, 0u) : 1u; });
        ASSERT_TRUE(SetEvent(event));
        EXPECT_EQ(a.join(), 0u);
        EXPECT_EQ(b.join(), 0u);
    }
    EXPECT_EQ(woken.load(), 2);
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_OBJECT_0));
    CloseHandle(event);
}

TEST_F(Wait, APostFromAnotherThreadEndsAMessageWaitAndNothingIsTaken)
{
    const DWORD me = GetCurrentThreadId();
    for (int round = 0; round < 200; ++round) {
        twtest::TestThread poster([me] { return PostThreadMessageA(me, WM_USER + 5, 0, 0) ? 0u : 1u; });
        ASSERT_EQ(wait_once(nullptr, TWPLAT_WAIT_FOR_MESSAGES, 30000), DWORD(TWPLAT_WAIT_MESSAGES));
        EXPECT_EQ(poster.join(), 0u);
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, WM_USER + 5u);
    }
}

TEST_F(Wait, AQueueThatHoldsAnythingEndsItAtOnceAQuitIncluded)
{
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 1, 0, 0));
    EXPECT_EQ(wait_once(nullptr, TWPLAT_WAIT_FOR_MESSAGES, INFINITE), DWORD(TWPLAT_WAIT_MESSAGES));
    twtest::drain_queue();
    EXPECT_EQ(wait_once(nullptr, TWPLAT_WAIT_FOR_MESSAGES, 10), DWORD(TWPLAT_WAIT_TIMEOUT));
    PostQuitMessage(0);
    EXPECT_EQ(wait_once(nullptr, TWPLAT_WAIT_FOR_MESSAGES, INFINITE), DWORD(TWPLAT_WAIT_MESSAGES));
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
}

TEST_F(Wait, AnEventComesBeforeMessagesAndMessagesAreNotHeardUnlessAsked)
{
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 1, 0, 0));
    EXPECT_EQ(wait_once(event, TWPLAT_WAIT_FOR_MESSAGES, INFINITE), DWORD(TWPLAT_WAIT_EVENT));
    EXPECT_EQ(wait_once(event, TWPLAT_WAIT_FOR_MESSAGES, INFINITE), DWORD(TWPLAT_WAIT_MESSAGES));
    EXPECT_EQ(wait_once(event, 0, 10), DWORD(TWPLAT_WAIT_TIMEOUT));
    CloseHandle(event);
}

TEST_F(Wait, TheTimeOutEndsAnIdleWait)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(wait_once(event, TWPLAT_WAIT_FOR_MESSAGES, 0), DWORD(TWPLAT_WAIT_TIMEOUT));
    EXPECT_EQ(wait_once(event, TWPLAT_WAIT_FOR_MESSAGES, 20), DWORD(TWPLAT_WAIT_TIMEOUT));
    CloseHandle(event);
}

TEST_F(Wait, ABadEventHandleFails)
{
    const HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x7ff0));
    EXPECT_EQ(wait_once(bogus, 0, 0), DWORD(TWPLAT_WAIT_FAILED));
}

TEST_F(Wait, TheInterruptEventEndsItAndPrepareForgetsAnEarlierOne)
{
    HANDLE interrupt = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(interrupt, nullptr);
#ifdef _WIN32
    // Set before prepare: an interrupt the caller has already looked at.
    EXPECT_EQ(wait_once(nullptr, TWPLAT_WAIT_FOR_MESSAGES, 10, interrupt), DWORD(TWPLAT_WAIT_TIMEOUT));
    twtest::TestThread setter([interrupt] { return SetEvent(interrupt) ? 0u : 1u; });
    EXPECT_EQ(wait_once(nullptr, TWPLAT_WAIT_FOR_MESSAGES, 30000, interrupt), DWORD(TWPLAT_WAIT_INTERRUPTED));
    EXPECT_EQ(setter.join(), 0u);
#else
    // Off Windows signals end a wait; the interrupt event is not looked at.
    EXPECT_EQ(wait_once(nullptr, TWPLAT_WAIT_FOR_MESSAGES, 10, interrupt), DWORD(TWPLAT_WAIT_TIMEOUT));
#endif
    CloseHandle(interrupt);
}

#ifndef _WIN32

// ---- the wake-up descriptor --------------------------------------------------

bool readable(int fd, int milliseconds = 0)
{
    struct pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, milliseconds) == 1 && (p.revents & POLLIN);
}

TEST_F(Wait, TheWakeUpDescriptorIsReadableExactlyWhileTheQueueHoldsAnything)
{
    const int fd = twplat_wakeup_fd();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(twplat_wakeup_fd(), fd);
    EXPECT_FALSE(readable(fd));

    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 1, 0, 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 2, 0, 0));
    EXPECT_TRUE(readable(fd));
    EXPECT_TRUE(readable(fd)) << "waiting on it must not clear it";
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_TRUE(readable(fd));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(readable(fd)) << "one message is still waiting";
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_FALSE(readable(fd));

    PostQuitMessage(1);
    EXPECT_TRUE(readable(fd));
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_FALSE(readable(fd));
}

TEST_F(Wait, TheWakeUpDescriptorWakesAnotherThreadsPollAndEachThreadHasItsOwn)
{
    const int fd = twplat_wakeup_fd();
    ASSERT_GE(fd, 0);
    const DWORD me = GetCurrentThreadId();
    int other_fd = -1;
    twtest::TestThread other([&] {
        other_fd = twplat_wakeup_fd();
        // The other thread sleeps on this thread's descriptor until the post.
        PostThreadMessageA(me, WM_USER + 1, 0, 0);
        return readable(fd, 30000) ? 0u : 1u;
    });
    EXPECT_EQ(other.join(), 0u);
    EXPECT_GE(other_fd, 0);
    EXPECT_NE(other_fd, fd);
    EXPECT_TRUE(readable(fd));
    twtest::drain_queue();
    EXPECT_FALSE(readable(fd));
}

TEST_F(Wait, DestroyingAWindowTakesItsMessagesOutOfTheDescriptorsLevel)
{
    const int fd = twplat_wakeup_fd();
    HWND window = twtest::make_window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 0, 0));
    EXPECT_TRUE(readable(fd));
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(readable(fd));
}

// Runs `body` in a forked child; true when it returned true there.
template <class Body>
bool in_child(Body body)
{
    pid_t child = fork();
    if (child == 0)
        _exit(body() ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(Wait, AForkedChildHasDescriptorsOfItsOwn)
{
    const int fd = twplat_wakeup_fd();
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 1, 0, 0));
    EXPECT_TRUE(in_child([] {
        MSG msg;
        return PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && !readable(twplat_wakeup_fd());
    }));
    EXPECT_TRUE(readable(fd)) << "the child's take emptied the parent's descriptor";

    twtest::drain_queue();
    EXPECT_TRUE(in_child([] { return PostMessageA(nullptr, WM_USER + 2, 0, 0) && readable(twplat_wakeup_fd()); }));
    EXPECT_FALSE(readable(fd)) << "the child's post rang the parent's descriptor";
}

#ifdef __linux__
int open_descriptors()
{
    int count = 0;
    if (DIR *dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

// A leak check counts descriptors around a piece of work: a thread's must
// all exist once it has a queue, not appear at the first wait that sleeps.
TEST_F(Wait, AThreadWithAQueueOpensNoDescriptorWhenItFirstSleeps)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    twtest::TestThread sleeper([event] {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue
        const int before = open_descriptors();
        twtest::TestThread setter([event] { return SetEvent(event) ? 0u : 1u; });
        if (wait_once(event, 0, 30000) != TWPLAT_WAIT_EVENT || setter.join() != 0)
            return 2u;
        return open_descriptors() == before ? 0u : 1u;
    });
    EXPECT_EQ(sleeper.join(), 0u);
    CloseHandle(event);
}
#endif

// ---- signals -----------------------------------------------------------------

std::atomic<int> g_handled{0};

void count_signal(int) { g_handled.fetch_add(1); }

// SIGUSR1 handled as CPython installs its handlers: without SA_RESTART.
class Signals : public Wait {
protected:
    void SetUp() override
    {
        Wait::SetUp();
        // Left installed: a late signal from a sender must not end the run.
        struct sigaction action = {};
        action.sa_handler = count_signal;
        sigemptyset(&action.sa_mask);
        ASSERT_EQ(sigaction(SIGUSR1, &action, nullptr), 0);
        g_handled = 0;
    }

    static bool blocked_here(int sig)
    {
        sigset_t mask;
        pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        return sigismember(&mask, sig) == 1;
    }
};

TEST_F(Signals, ASignalSentWhileItSleepsEndsIt)
{
    const pthread_t me = pthread_self();
    std::atomic<bool> stop{false};
    // Sends until the wait ends: the first one may come before the sleep.
    std::thread sender([&] {
        while (!stop) {
            pthread_kill(me, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    DWORD result = wait_once(nullptr, TWPLAT_WAIT_FOR_MESSAGES, 30000);
    stop = true;
    sender.join();
    EXPECT_EQ(result, DWORD(TWPLAT_WAIT_INTERRUPTED));
    EXPECT_GE(g_handled.load(), 1);
    EXPECT_FALSE(blocked_here(SIGUSR1));
}

TEST_F(Signals, ASignalBetweenPrepareAndTheWaitIsHeldAndEndsIt)
{
    twplat_wait_t wait;
    twplat_wait_prepare(&wait, nullptr);
    raise(SIGUSR1);
    EXPECT_EQ(g_handled.load(), 0) << "handled before the caller could know";
    EXPECT_EQ(twplat_wait(&wait, nullptr, TWPLAT_WAIT_FOR_MESSAGES, 30000), DWORD(TWPLAT_WAIT_INTERRUPTED));
    EXPECT_EQ(g_handled.load(), 1);
    EXPECT_FALSE(blocked_here(SIGUSR1));
}

TEST_F(Signals, CancellingAPreparedWaitLetsAHeldSignalIn)
{
    twplat_wait_t wait;
    twplat_wait_prepare(&wait, nullptr);
    EXPECT_TRUE(blocked_here(SIGUSR1));
    EXPECT_FALSE(blocked_here(SIGSEGV));
    raise(SIGUSR1);
    twplat_wait_cancel(&wait);
    EXPECT_EQ(g_handled.load(), 1);
    EXPECT_FALSE(blocked_here(SIGUSR1));
}

TEST_F(Signals, AnEventOrMessageThatEndsTheWaitLeavesSignalsAsTheyWere)
{
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(wait_once(event, 0, INFINITE), DWORD(TWPLAT_WAIT_EVENT));
    EXPECT_FALSE(blocked_here(SIGUSR1));
    CloseHandle(event);
}

TEST_F(Signals, ASignalToTheProcessReachesTheWaitingThreadNotPlatformThreads)
{
    // Platform threads hold signals, so the process's signal can only be
    // taken by this thread, in its wait.
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(stop, nullptr);
    bool held_there = false;
    twtest::TestThread bystander([&] {
        held_there = blocked_here(SIGUSR1) && blocked_here(SIGINT) && !blocked_here(SIGSEGV);
        return WaitForSingleObject(stop, INFINITE) == WAIT_OBJECT_0 ? 0u : 1u;
    });
    std::atomic<bool> done{false};
    std::thread sender([&] {
        twplat_held_signals_t held;
        twplat_hold_signals(&held);  // not this helper either
        while (!done) {
            kill(getpid(), SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        twplat_restore_signals(&held);
    });
    DWORD result = wait_once(nullptr, TWPLAT_WAIT_FOR_MESSAGES, 30000);
    done = true;
    sender.join();
    SetEvent(stop);
    EXPECT_EQ(bystander.join(), 0u);
    CloseHandle(stop);
    EXPECT_EQ(result, DWORD(TWPLAT_WAIT_INTERRUPTED));
    EXPECT_TRUE(held_there);
}

TEST_F(Signals, ThreadsStartedWhileSignalsAreHeldKeepThemHeld)
{
    twplat_held_signals_t held;
    twplat_hold_signals(&held);
    bool held_in_thread = false;
    std::thread started([&] { held_in_thread = blocked_here(SIGINT) && blocked_here(SIGTERM); });
    twplat_restore_signals(&held);
    started.join();
    EXPECT_TRUE(held_in_thread);
    EXPECT_FALSE(blocked_here(SIGINT));
}

#endif  // !_WIN32

}  // namespace
