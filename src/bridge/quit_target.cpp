#include "bridge/quit_target.h"

namespace talkwire {

QuitTarget::QuitTarget() : thread_id_(GetCurrentThreadId())
{
    // Win32's way to make sure the thread has a message queue; it neither
    // removes nor dispatches anything.
    MSG ignored;
    PeekMessageA(&ignored, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
#ifdef _WIN32
    pin_ = OpenThread(SYNCHRONIZE, FALSE, thread_id_);
#endif
}

QuitTarget::~QuitTarget()
{
    if (pin_)
        CloseHandle(pin_);
}

bool QuitTarget::post_quit() const
{
    return PostThreadMessageA(thread_id_, WM_QUIT, 0, 0) != FALSE;
}

}  // namespace talkwire
