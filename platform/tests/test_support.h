// Helpers shared by the platform tests.  Only Win32 calls, so the same tests
// build against <windows.h>.
#ifndef TWPLATFORM_TEST_SUPPORT_H
#define TWPLATFORM_TEST_SUPPORT_H

#include "twplatform/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace twtest {

// Win32 error constants are signed longs on Windows and plain ints here.
inline DWORD code(long value) { return static_cast<DWORD>(value); }

// Wine answers a few calls differently from Windows; the tests accept its
// answer there, and only there.
inline bool under_wine()
{
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

inline std::string unique_name(const char *prefix)
{
    static std::atomic<unsigned> counter{0};
    return std::string(prefix) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(counter.fetch_add(1));
}

// The test window class forwards to a per-thread handler.
using Handler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
inline thread_local Handler *tls_handler = nullptr;

inline LRESULT CALLBACK forwarding_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (tls_handler && *tls_handler)
        return (*tls_handler)(hwnd, msg, wp, lp);
    return DefWindowProcA(hwnd, msg, wp, lp);
}

inline const char *test_class()
{
    static const std::string name = [] {
        std::string n = unique_name("twplat-test");
        WNDCLASSEXA cls = {};
        cls.cbSize = sizeof cls;
        cls.lpfnWndProc = forwarding_proc;
        cls.lpszClassName = n.c_str();
        if (!RegisterClassExA(&cls))
            ADD_FAILURE() << "RegisterClassExA: " << GetLastError();
        return n;
    }();
    return name.c_str();
}

// Installs a handler for windows of the calling thread while in scope.
class HandlerScope {
public:
    explicit HandlerScope(Handler handler) : handler_(std::move(handler)), previous_(tls_handler)
    {
        tls_handler = &handler_;
    }
    ~HandlerScope() { tls_handler = previous_; }
    HandlerScope(const HandlerScope &) = delete;
    HandlerScope &operator=(const HandlerScope &) = delete;

private:
    Handler handler_;
    Handler *previous_;
};

inline HWND make_window(LPVOID param = nullptr)
{
    return CreateWindowExA(0, test_class(), "test", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, param);
}

// Empties the calling thread's queue, including a pending quit.
inline void drain_queue()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

inline DWORD WINAPI run_function(LPVOID param)
{
    return (*static_cast<std::function<DWORD()> *>(param))();
}

// A platform thread running `body`; joined on destruction.
class TestThread {
public:
    explicit TestThread(std::function<DWORD()> body) : body_(std::move(body))
    {
        handle_ = CreateThread(nullptr, 0, run_function, &body_, 0, &id_);
        EXPECT_NE(handle_, nullptr) << GetLastError();
    }
    ~TestThread()
    {
        if (handle_) {
            join();
            CloseHandle(handle_);
        }
    }
    TestThread(const TestThread &) = delete;
    TestThread &operator=(const TestThread &) = delete;

    DWORD join()
    {
        EXPECT_EQ(WaitForSingleObject(handle_, INFINITE), WAIT_OBJECT_0);
        DWORD exit_code = 0;
        EXPECT_TRUE(GetExitCodeThread(handle_, &exit_code));
        return exit_code;
    }
    DWORD id() const { return id_; }
    HANDLE handle() const { return handle_; }

private:
    std::function<DWORD()> body_;
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

}  // namespace twtest

#endif
