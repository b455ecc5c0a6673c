// One round of the calling thread's message pump that never waits: what the
// host calls from its own loop.  It dispatches exactly as Run does, so a
// host that pumps this way and one that calls Run see the same callbacks in
// the same order.
#ifndef TALKWIRE_BRIDGE_PUMP_ROUND_H
#define TALKWIRE_BRIDGE_PUMP_ROUND_H

#include "twplatform/win32.h"

#include <cstddef>

namespace talkwire {

struct PumpRound {
    size_t dispatched = 0;     // messages handed to DispatchMessageA
    bool quit_pending = false;  // a quit was met and left for the thread's Run
    bool stopped = false;       // stop_after() ended the round
};

// Owner thread.  Dispatches the messages waiting in the calling thread's
// queue, for every window of the thread, in queue order, until none is
// left.  A quit met on the way is not the round's to take: it goes back as
// the thread's pending quit (which Win32 reports once no posted message is
// left) and the round ends, so the thread's Run, or a host loop that ends on
// WM_QUIT, still sees it.  stop_after() is asked after each dispatch; true
// ends the round there, with the rest left queued.
template <class StopAfter>
PumpRound pump_round(StopAfter &&stop_after)
{
    PumpRound round;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            round.quit_pending = true;
            break;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
        ++round.dispatched;
        if (stop_after()) {
            round.stopped = true;
            break;
        }
    }
    return round;
}

inline PumpRound pump_round()
{
    return pump_round([] { return false; });
}

}  // namespace talkwire

#endif
