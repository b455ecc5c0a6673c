#include "bridge/message_window.h"

#include "bridge/trace.h"
#include "bridge/window_registry.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace talkwire {
namespace {

HINSTANCE g_module_instance = nullptr;
DispatchLock g_dispatch_lock = {nullptr, nullptr};

bool register_window_class()
{
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = message_window_proc;
    window_class.hInstance = module_instance();
    window_class.lpszClassName = kWindowClassName;
    return RegisterClassExA(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

class HeldDispatchLock {
public:
    HeldDispatchLock() : state_(g_dispatch_lock.enter ? g_dispatch_lock.enter() : nullptr) {}
    ~HeldDispatchLock()
    {
        if (g_dispatch_lock.leave)
            g_dispatch_lock.leave(state_);
    }
    HeldDispatchLock(const HeldDispatchLock &) = delete;
    HeldDispatchLock &operator=(const HeldDispatchLock &) = delete;

private:
    void *state_;
};

// Windows whose destruction could not even be posted to their thread.
struct Unposted {
    std::mutex mutex;
    std::vector<std::pair<DWORD, HWND>> windows;  // (owner thread, window)
    std::atomic<size_t> count{0};
};

Unposted &unposted()
{
    static Unposted *list = new Unposted;  // outlives threads still running at exit
    return *list;
}

// Owner thread: destroys the windows of this thread left in the list.
void destroy_unposted()
{
    Unposted &list = unposted();
    if (list.count.load(std::memory_order_relaxed) == 0)
        return;
    const DWORD self = GetCurrentThreadId();
    std::vector<HWND> mine;
    {
        std::lock_guard<std::mutex> lock(list.mutex);
        auto ours = std::stable_partition(list.windows.begin(), list.windows.end(),
                                          [self](const std::pair<DWORD, HWND> &entry) { return entry.first != self; });
        for (auto it = ours; it != list.windows.end(); ++it)
            mine.push_back(it->second);
        list.windows.erase(ours, list.windows.end());
        list.count.store(list.windows.size(), std::memory_order_relaxed);
    }
    for (HWND window : mine)
        destroy_message_window(window);
}

}  // namespace

HINSTANCE module_instance()
{
    // DllMain records it in a DLL; anywhere else, find the module that holds
    // this code.
    if (!g_module_instance) {
#ifdef _WIN32
        HMODULE module = nullptr;
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCSTR>(&module_instance), &module))
            g_module_instance = module;
#else
        g_module_instance = twplat_module_handle(reinterpret_cast<const void *>(&module_instance));
#endif
    }
    return g_module_instance;
}

void set_module_instance(HINSTANCE instance) { g_module_instance = instance; }

void set_dispatch_lock(const DispatchLock &lock) { g_dispatch_lock = lock; }

HWND create_message_window()
{
    destroy_unposted();
    if (!register_window_class())
        return nullptr;
    return CreateWindowExA(0, kWindowClassName, "Connector", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                           CW_USEDEFAULT, 0, nullptr, nullptr, module_instance(), nullptr);
}

void destroy_message_window(HWND window)
{
    // Wake-ups still queued carry nothing: the messages are in the mailbox.
    // A pending WM_QUIT comes out whatever the filter; it belongs to the
    // thread's pump, so it goes back.
    MSG queued;
    while (PeekMessageA(&queued, window, kSdkMessage, kSdkMessage, PM_REMOVE)) {
        if (queued.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(queued.wParam));
            break;
        }
    }
    DestroyWindow(window);
}

void dispose_message_window(HWND window, DWORD owner_thread)
{
    if (owner_thread == GetCurrentThreadId()) {
        destroy_message_window(window);
        return;
    }
    if (PostMessageA(window, kDisposeMessage, 0, 0) || !IsWindow(window))
        return;
    trace("dispose_message_window: destruction not posted, error %lu\r\n",
          static_cast<unsigned long>(GetLastError()));
    Unposted &list = unposted();
    std::lock_guard<std::mutex> lock(list.mutex);
    try {
        list.windows.emplace_back(owner_thread, window);
    } catch (const std::bad_alloc &) {
        // Nothing more can be done from here; the window goes with its thread.
        trace("dispose_message_window: window left to its thread's end\r\n");
        return;
    }
    list.count.store(list.windows.size(), std::memory_order_relaxed);
}

LRESULT CALLBACK message_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == kDisposeMessage) {
        // Only a window whose sink has gone is destroyed.
        if (!window_registry::find(window))
            destroy_message_window(window);
        return 0;
    }
    destroy_unposted();
    HeldDispatchLock hold;
    MessageSink *sink = window_registry::find(window);
    if (!sink || sink->message_window() != window)
        trace("s_WindowProc Message hwnd not found\r\n");
    else if (message == kSdkMessage)
        sink->on_sdk_wake();
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace talkwire
