#include "bridge/message_window.h"

#include "bridge/trace.h"
#include "bridge/window_registry.h"

namespace talkwire {
namespace {

HINSTANCE g_module_instance = nullptr;

bool register_window_class()
{
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = message_window_proc;
    window_class.hInstance = module_instance();
    window_class.lpszClassName = kWindowClassName;
    return RegisterClassExA(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
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

HWND create_message_window()
{
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

LRESULT CALLBACK message_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    MessageSink *sink = window_registry::find(window);
    if (!sink || sink->message_window() != window)
        trace("s_WindowProc Message hwnd not found\r\n");
    else if (message == kSdkMessage)
        sink->on_sdk_wake();
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace talkwire
