// A DLL built around the module's own DllMain, for the tests to load: it
// reports the instance DllMain recorded and the instance its message window
// class was registered under.
#include "bridge/message_window.h"

extern "C" __declspec(dllexport) HINSTANCE probe_recorded_instance()
{
    return talkwire::module_instance();
}

// The class goes again with the window, so that nothing of the DLL's stays
// registered once it is unloaded.
extern "C" __declspec(dllexport) HINSTANCE probe_window_class_instance()
{
    HWND window = talkwire::create_message_window();
    if (!window)
        return nullptr;
    auto instance = reinterpret_cast<HINSTANCE>(GetClassLongPtrA(window, GCLP_HMODULE));
    talkwire::destroy_message_window(window);
    UnregisterClassA(talkwire::kWindowClassName, talkwire::module_instance());
    return instance;
}
