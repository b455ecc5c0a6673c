// The hidden window that receives SDK messages on the connector's thread.
#ifndef TALKWIRE_BRIDGE_MESSAGE_WINDOW_H
#define TALKWIRE_BRIDGE_MESSAGE_WINDOW_H

#include "twplatform/win32.h"

namespace talkwire {

constexpr UINT kSdkMessage = WM_USER + 1;      // a wake-up: the sink's mailbox has messages
constexpr UINT kDisposeMessage = WM_USER + 2;  // destroy this window: its sink went on another thread
constexpr const char *kWindowClassName = "ConnectorMessageWindowClass";

// The module's own instance handle (recorded by DllMain on Windows).
HINSTANCE module_instance();
void set_module_instance(HINSTANCE instance);

// What the window procedure holds while it finds a window's sink and wakes
// it.  A sink may be torn down on any thread (a collection runs wherever
// it runs); when every teardown holds the same lock, the procedure finds a
// sink whole or not at all, whichever loop dispatches.  The Python module
// installs the interpreter lock.  Without one, each sink is torn down on
// its own thread.
struct DispatchLock {
    void *(*enter)();
    void (*leave)(void *state);
};
void set_dispatch_lock(const DispatchLock &lock);

// Owner thread.  Registers the window class once per process (finding it
// registered counts as success) and creates a window owned by the calling
// thread; null when either step fails.
HWND create_message_window();

// Owner thread.  Drops the wake-ups still queued for the window, then
// destroys it.  Call after the window has left window_registry and the SDK
// handler that posts to it has been unregistered.
void destroy_message_window(HWND window);

// Any thread, under the same conditions.  On the owner thread the window is
// destroyed at once.  Elsewhere the system refuses to destroy it, so its
// destruction is posted to the owner thread, whose next pump carries it
// out; a window gone with its thread needs nothing.  Should that post be
// refused too (a full queue), the window waits in a list that its thread
// empties the next time it creates a message window or dispatches to one.
void dispose_message_window(HWND window, DWORD owner_thread);

LRESULT CALLBACK message_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace talkwire

#endif
