// The module's DLL entry point (Windows only; other hosts find the module's
// instance from an address in it).  The message window class is registered
// under the instance recorded here.
#include "bridge/message_window.h"

// Loader thread, under the loader lock: records and nothing more.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        talkwire::set_module_instance(instance);
        // Nothing to do per thread: spare every thread start and exit the call.
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
