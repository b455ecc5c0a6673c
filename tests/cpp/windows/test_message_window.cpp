// The message bridge over the real user32: the window a connector core gets,
// and a core on a thread of its own, woken through that thread's queue by
// the SDK's thread and ended by a WM_QUIT posted from elsewhere.
#include "bridge/message_window.h"
#include "recording_sink.h"
#include "voicesdk/control.h"

#include <gtest/gtest.h>

namespace talkwire {
namespace {

class Win32Bridge : public ::testing::Test {
protected:
    void SetUp() override { sdk_ctl_reset(); }
    void TearDown() override
    {
        sdk_ctl_flush(5.0);
        sdk_ctl_live_t counts;
        sdk_ctl_live(&counts);
        EXPECT_EQ(counts.responses, 0);
        EXPECT_EQ(counts.events, 0);
        sdk_ctl_reset();
    }
};

TEST_F(Win32Bridge, EachCoreHasAHiddenWindowOwnedByItsThread)
{
    RecordingSink sink;
    HWND window = sink.message_window();
    ASSERT_NE(window, nullptr) << GetLastError();
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
    char name[64] = {};
    ASSERT_GT(GetClassNameA(window, name, sizeof name), 0);
    EXPECT_STREQ(name, kWindowClassName);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)), &message_window_proc);
}

struct CoreThread {
    HANDLE ready = nullptr;
    size_t received = 0;
    DWORD woken_on = 0;
    BOOL last_get = -1;
};

// The core's thread: a connector's construction, then its Run pump.
DWORD WINAPI run_core(LPVOID param)
{
    auto &core = *static_cast<CoreThread *>(param);
    RecordingSink sink;
    if (!sink.message_window())
        return 1;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before anyone posts
    SetEvent(core.ready);
    while ((core.last_get = GetMessageA(&message, nullptr, 0, 0)) > 0)
        DispatchMessageA(&message);
    core.received = sink.received.size();
    core.woken_on = sink.woken_on;
    return 0;
}

TEST_F(Win32Bridge, CoreOnItsOwnThreadIsWokenThereAndQuitFromAnother)
{
    CoreThread core;
    core.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(core.ready, nullptr);
    DWORD core_id = 0;
    HANDLE thread = CreateThread(nullptr, 0, run_core, &core, 0, &core_id);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(core.ready, 10000), WAIT_OBJECT_0);

    for (int i = 0; i < 50; ++i) {
        sdk_evt_base_t *event = sdk_ctl_event_create(kOtherEvent);
        sdk_ctl_post(&event->message);
    }
    // The SDK's thread has posted its wake-ups; none reached this thread.
    ASSERT_EQ(sdk_ctl_flush(5.0), 1);
    MSG stray;
    EXPECT_FALSE(PeekMessageA(&stray, nullptr, 0, 0, PM_REMOVE));

    // Queued behind the wake-ups, so the pump handles them first.
    ASSERT_TRUE(PostThreadMessageA(core_id, WM_QUIT, 0, 0));
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD exit_code = 1;
    EXPECT_TRUE(GetExitCodeThread(thread, &exit_code));
    EXPECT_EQ(exit_code, 0u);
    EXPECT_EQ(core.last_get, 0);
    EXPECT_EQ(core.received, 50u);
    EXPECT_EQ(core.woken_on, core_id);
    CloseHandle(thread);
    CloseHandle(core.ready);
}

}  // namespace
}  // namespace talkwire
