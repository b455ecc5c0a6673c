// The hidden window that receives SDK messages on the connector's thread.
#ifndef TALKWIRE_BRIDGE_MESSAGE_WINDOW_H
#define TALKWIRE_BRIDGE_MESSAGE_WINDOW_H

#include "twplatform/win32.h"

namespace talkwire {

constexpr UINT kSdkMessage = WM_USER + 1;  // a wake-up: the sink's mailbox has messages
constexpr const char *kWindowClassName = "ConnectorMessageWindowClass";

// The module's own instance handle (recorded by DllMain on Windows).
HINSTANCE module_instance();
void set_module_instance(HINSTANCE instance);

// Owner thread.  Registers the window class once per process (finding it
// registered counts as success) and creates a window owned by the calling
// thread; null when either step fails.
HWND create_message_window();

// Owner thread.  Drops the wake-ups still queued for the window, then
// destroys it.  Call after the window has left window_registry and the SDK
// handler that posts to it has been unregistered.
void destroy_message_window(HWND window);

LRESULT CALLBACK message_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace talkwire

#endif
