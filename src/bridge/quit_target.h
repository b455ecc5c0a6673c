// A thread that others may ask to end its message pump: what a quit handle
// holds.  Made on that thread; post_quit() may be called from any thread.
#ifndef TALKWIRE_BRIDGE_QUIT_TARGET_H
#define TALKWIRE_BRIDGE_QUIT_TARGET_H

#include "twplatform/win32.h"

namespace talkwire {

class QuitTarget {
public:
    // The calling thread, given a message queue now if it has none yet, so
    // that a quit posted before its first pump is kept.
    QuitTarget();
    ~QuitTarget();
    QuitTarget(const QuitTarget &) = delete;
    QuitTarget &operator=(const QuitTarget &) = delete;

    // Any thread.  Posts WM_QUIT to the thread's queue, behind what is
    // already queued there; the thread's Run returns when it comes to it.
    // False when the thread has ended (or its queue is full).
    bool post_quit() const;

    DWORD thread_id() const { return thread_id_; }

private:
    DWORD thread_id_;
    // Windows reuses the id of an ended thread unless a handle to the
    // thread stays open: holding one keeps a late quit from reaching a
    // stranger.  Ids are never reused elsewhere.
    HANDLE pin_ = nullptr;
};

}  // namespace talkwire

#endif
