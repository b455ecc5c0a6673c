// Each injected fault fails the next calls as the real failure would, then
// lets calls through again.
#include "test_support.h"

#ifndef _WIN32

#include "twplatform/faults.h"

#include <vector>

using twtest::code;

namespace {

class Faults : public ::testing::Test {
protected:
    void SetUp() override { twtest::drain_queue(); }
    void TearDown() override
    {
        twplat_clear_faults();
        twtest::drain_queue();
    }
};

// Performs the faultable call once; true when it succeeded (and cleans up).
struct Operation {
    int fault;
    bool (*attempt)();
};

DWORD WINAPI quick_thread(LPVOID) { return 0; }

const Operation kOperations[] = {
    {twplat_fault_create_event,
     [] {
         HANDLE h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
         return h && CloseHandle(h);
     }},
    {twplat_fault_create_thread,
     [] {
         HANDLE h = CreateThread(nullptr, 0, quick_thread, nullptr, 0, nullptr);
         return h && WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0 && CloseHandle(h);
     }},
    {twplat_fault_register_class,
     [] {
         std::string name = twtest::unique_name("twplat-fault");
         WNDCLASSEXA cls = {};
         cls.cbSize = sizeof cls;
         cls.lpfnWndProc = twtest::forwarding_proc;
         cls.lpszClassName = name.c_str();
         return RegisterClassExA(&cls) != 0 && UnregisterClassA(name.c_str(), nullptr);
     }},
    {twplat_fault_create_window,
     [] {
         HWND w = twtest::make_window();
         return w && DestroyWindow(w);
     }},
    {twplat_fault_post_message,
     [] {
         MSG msg;
         return PostMessageA(nullptr, WM_USER, 0, 0) && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
     }},
};

TEST_F(Faults, EachFaultFailsTheNextCallsWithItsError)
{
    twtest::test_class();  // registered before arming the class fault
    for (const Operation &op : kOperations) {
        SCOPED_TRACE(op.fault);
        twplat_inject_fault(op.fault, 2, ERROR_NOT_ENOUGH_MEMORY);
        for (int i = 0; i < 2; ++i) {
            SetLastError(0);
            EXPECT_FALSE(op.attempt());
            EXPECT_EQ(GetLastError(), code(ERROR_NOT_ENOUGH_MEMORY));
        }
        EXPECT_TRUE(op.attempt());
    }
}

TEST_F(Faults, OneFaultLeavesOtherOperationsAlone)
{
    twplat_inject_fault(twplat_fault_post_message, 5, ERROR_NOT_ENOUGH_QUOTA);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE(event, nullptr);
    CloseHandle(event);
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(nullptr, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), code(ERROR_NOT_ENOUGH_QUOTA));
}

TEST_F(Faults, ClearingDisarmsEverything)
{
    for (int fault = 0; fault < twplat_fault_count; ++fault)
        twplat_inject_fault(fault, 100, ERROR_ACCESS_DENIED);
    twplat_clear_faults();
    for (const Operation &op : kOperations)
        EXPECT_TRUE(op.attempt()) << op.fault;
    twplat_inject_fault(twplat_fault_create_event, 1, ERROR_ACCESS_DENIED);
    twplat_inject_fault(twplat_fault_create_event, 0, ERROR_ACCESS_DENIED);  // zero disarms
    EXPECT_TRUE(kOperations[0].attempt());
}

TEST_F(Faults, CountIsSharedExactlyAcrossThreads)
{
    constexpr int kThreads = 4;
    constexpr int kPosts = 200;
    constexpr int kArmed = 300;
    twplat_inject_fault(twplat_fault_post_message, kArmed, ERROR_NOT_ENOUGH_MEMORY);
    std::vector<std::unique_ptr<twtest::TestThread>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(new twtest::TestThread([]() -> DWORD {
            DWORD failed = 0;
            for (int i = 0; i < kPosts; ++i) {
                if (!PostMessageA(nullptr, WM_USER, 0, 0))
                    failed += GetLastError() == code(ERROR_NOT_ENOUGH_MEMORY) ? 1 : 1000000;
            }
            return failed;
        }));
    }
    DWORD failed = 0;
    for (auto &thread : threads)
        failed += thread->join();
    EXPECT_EQ(failed, static_cast<DWORD>(kArmed));
}

}  // namespace

#endif
