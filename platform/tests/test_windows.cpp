// Window classes, the synchronous creation/destruction messages, dispatch and
// the lifetime of window handles.
#include "test_support.h"

#include <set>
#include <vector>

using twtest::code;

namespace {

bool is_lifecycle(UINT msg)
{
    return msg == WM_NCCREATE || msg == WM_CREATE || msg == WM_DESTROY || msg == WM_NCDESTROY;
}

// Records the lifecycle messages (the only ones every host sends alike).
struct Recorder {
    std::vector<UINT> messages;
    std::vector<BOOL> alive;  // IsWindow while handling each
    std::vector<LPVOID> create_params;

    twtest::Handler handler(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> override_ = nullptr)
    {
        return [this, override_](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (is_lifecycle(m)) {
                messages.push_back(m);
                alive.push_back(IsWindow(h));
                if (m == WM_NCCREATE || m == WM_CREATE)
                    create_params.push_back(reinterpret_cast<CREATESTRUCTA *>(lp)->lpCreateParams);
            }
            if (override_)
                return override_(h, m, wp, lp);
            return DefWindowProcA(h, m, wp, lp);
        };
    }
};

class Windows : public ::testing::Test {
protected:
    void SetUp() override { twtest::drain_queue(); }
    void TearDown() override { twtest::drain_queue(); }
};

TEST(WindowClass, RegistrationRules)
{
    const std::string name = twtest::unique_name("twplat-class");
    WNDCLASSEXA cls = {};
    cls.cbSize = sizeof cls - 1;
    cls.lpfnWndProc = twtest::forwarding_proc;
    cls.lpszClassName = name.c_str();
    SetLastError(0);
    EXPECT_EQ(RegisterClassExA(&cls), 0);
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_PARAMETER));

    cls.cbSize = sizeof cls;
    ATOM atom = RegisterClassExA(&cls);
    ASSERT_NE(atom, 0);

    std::string other_case = name;
    other_case[0] = 'T';
    cls.lpszClassName = other_case.c_str();
    SetLastError(0);
    EXPECT_EQ(RegisterClassExA(&cls), 0);
    EXPECT_EQ(GetLastError(), code(ERROR_CLASS_ALREADY_EXISTS));

    // A window by atom holds the class registered.
    LPCSTR by_atom = reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(atom));
    HWND window = CreateWindowExA(0, by_atom, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    SetLastError(0);
    EXPECT_FALSE(UnregisterClassA(name.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), code(ERROR_CLASS_HAS_WINDOWS));
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA(name.c_str(), nullptr));

    SetLastError(0);
    EXPECT_EQ(CreateWindowExA(0, name.c_str(), "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), code(twtest::under_wine() ? ERROR_CLASS_DOES_NOT_EXIST : ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(Windows, CreationAndDestructionMessagesAreSentInOrder)
{
    Recorder rec;
    twtest::HandlerScope scope(rec.handler());
    int marker = 0;
    HWND window = twtest::make_window(&marker);
    ASSERT_NE(window, nullptr);
    // Sent, not posted: all there before CreateWindowExA returned.
    ASSERT_EQ(rec.messages, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_EQ(rec.create_params, (std::vector<LPVOID>{&marker, &marker}));
    EXPECT_TRUE(IsWindow(window));

    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_EQ(rec.messages, (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(rec.alive, (std::vector<BOOL>{TRUE, TRUE, TRUE, TRUE}));
    EXPECT_FALSE(IsWindow(window));
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(GetLastError(), code(twtest::under_wine() ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, HandlesAreNeverReused)
{
    std::set<HWND> seen;
    for (int i = 0; i < 200; ++i) {
        HWND window = twtest::make_window();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(seen.insert(window).second);
        ASSERT_TRUE(DestroyWindow(window));
    }
}

TEST_F(Windows, ProcedureCanRefuseCreation)
{
    HWND seen = nullptr;
    {
        Recorder rec;
        twtest::HandlerScope scope(rec.handler([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            seen = h;
            return m == WM_NCCREATE ? FALSE : DefWindowProcA(h, m, wp, lp);
        }));
        EXPECT_EQ(twtest::make_window(), nullptr);
        ASSERT_FALSE(rec.messages.empty());
        EXPECT_EQ(rec.messages.front(), code(WM_NCCREATE));
        for (UINT m : rec.messages)
            EXPECT_NE(m, code(WM_CREATE));
        EXPECT_FALSE(IsWindow(seen));
    }
    {
        Recorder rec;
        twtest::HandlerScope scope(rec.handler([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            seen = h;
            return m == WM_CREATE ? -1 : DefWindowProcA(h, m, wp, lp);
        }));
        EXPECT_EQ(twtest::make_window(), nullptr);
        ASSERT_GE(rec.messages.size(), 3u);
        EXPECT_EQ(rec.messages[1], code(WM_CREATE));
        EXPECT_EQ(rec.messages.back(), code(WM_NCDESTROY));
        EXPECT_FALSE(IsWindow(seen));
    }
}

TEST_F(Windows, DispatchCallsTheProcedureWithTheMessage)
{
    std::vector<std::pair<WPARAM, LPARAM>> calls;
    twtest::HandlerScope scope([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_USER + 1) {
            calls.emplace_back(wp, lp);
            return 42;
        }
        return DefWindowProcA(h, m, wp, lp);
    });
    HWND window = twtest::make_window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 5, 6));
    MSG msg;
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_FALSE(TranslateMessage(&msg));
    EXPECT_EQ(DispatchMessageA(&msg), 42);
    EXPECT_EQ(calls, (std::vector<std::pair<WPARAM, LPARAM>>{{5, 6}}));

    MSG thread_msg = msg;
    thread_msg.hwnd = nullptr;
    EXPECT_EQ(DispatchMessageA(&thread_msg), 0);
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_EQ(DispatchMessageA(&msg), 0);  // dead window
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(Windows, DefWindowProcDefaults)
{
    HWND window = twtest::make_window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(DefWindowProcA(window, WM_USER, 1, 2), 0);
    CREATESTRUCTA create = {};
    EXPECT_EQ(DefWindowProcA(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)), TRUE);
    EXPECT_EQ(DefWindowProcA(nullptr, WM_USER, 0, 0), 0);
    EXPECT_EQ(DefWindowProcA(window, WM_CLOSE, 0, 0), 0);  // closing destroys
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(Windows, OnlyTheOwnerThreadMayDestroy)
{
    HWND window = twtest::make_window();
    ASSERT_NE(window, nullptr);
    twtest::TestThread other([window]() -> DWORD {
        if (!IsWindow(window) || !PostMessageA(window, WM_USER, 0, 0))
            return 1;
        SetLastError(0);
        if (DestroyWindow(window))
            return 2;
        return GetLastError();
    });
    EXPECT_EQ(other.join(), code(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsWindow(window));
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, window, WM_USER, WM_USER, PM_REMOVE));
    EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(Windows, ProcedureMayDestroyWindowsWhileDispatching)
{
    HWND first = nullptr;
    HWND second = nullptr;
    std::vector<UINT> destroyed;
    BOOL post_inside = TRUE;
    BOOL alive_after = TRUE;
    twtest::HandlerScope scope([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_NCDESTROY)
            destroyed.push_back(h == first ? 1 : 2);
        if (m == WM_USER && h == first) {
            DestroyWindow(second);
            DestroyWindow(h);
            post_inside = PostMessageA(h, WM_USER, 0, 0);
            alive_after = IsWindow(h);
            return 7;
        }
        return DefWindowProcA(h, m, wp, lp);
    });
    first = twtest::make_window();
    second = twtest::make_window();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(PostMessageA(first, WM_USER, 0, 0));
    ASSERT_TRUE(PostMessageA(second, WM_USER, 0, 0));

    MSG msg;
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(DispatchMessageA(&msg), 7);
    EXPECT_FALSE(post_inside);
    EXPECT_FALSE(alive_after);
    EXPECT_EQ(destroyed, (std::vector<UINT>{2, 1}));
    // The second window's message went with it.
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Windows, DestroyDiscardsQueuedMessagesAndRefusesNewOnes)
{
    HWND doomed = twtest::make_window();
    HWND kept = twtest::make_window();
    ASSERT_NE(doomed, nullptr);
    ASSERT_NE(kept, nullptr);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(PostMessageA(doomed, WM_USER, i, 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 1, 0, 0));
    ASSERT_TRUE(PostMessageA(kept, WM_USER + 2, 0, 0));
    ASSERT_TRUE(DestroyWindow(doomed));

    SetLastError(0);
    EXPECT_FALSE(PostMessageA(doomed, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_WINDOW_HANDLE));

    std::vector<UINT> left;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        left.push_back(msg.message);
    EXPECT_EQ(left, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
    EXPECT_TRUE(DestroyWindow(kept));
}

TEST(WindowThreads, ExitingThreadTakesItsWindowsAlong)
{
    std::atomic<HWND> window{nullptr};
    twtest::TestThread owner([&]() -> DWORD {
        window = twtest::make_window();
        return window.load() && PostMessageA(window.load(), WM_USER, 0, 0) ? 0 : 1;
    });
    ASSERT_EQ(owner.join(), 0u);
    EXPECT_FALSE(IsWindow(window.load()));
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(window.load(), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_WINDOW_HANDLE));
}

}  // namespace
