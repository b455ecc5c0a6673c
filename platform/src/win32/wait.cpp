// twplat_wait on Windows: MsgWaitForMultipleObjectsEx over the event, the
// interrupt event and the thread's input.  Signals are not delivered to
// arbitrary threads here, so holding them is nothing.
#include "twplatform/wait.h"

extern "C" {

void twplat_wait_prepare(twplat_wait_t *wait, HANDLE interrupt)
{
    // Reset first, then the caller looks at its handlers' record: an
    // interrupt after that look leaves the event set for the wait to see.
    wait->interrupt = interrupt;
    wait->prepared = 1;
    if (interrupt)
        ResetEvent(interrupt);
}

DWORD twplat_wait(twplat_wait_t *wait, HANDLE event, DWORD flags, DWORD milliseconds)
{
    HANDLE handles[2];
    DWORD count = 0;
    DWORD event_index = MAXDWORD;
    DWORD interrupt_index = MAXDWORD;
    if (event) {
        event_index = count;
        handles[count++] = event;
    }
    if (wait->prepared && wait->interrupt) {
        interrupt_index = count;
        handles[count++] = wait->interrupt;
    }
    wait->prepared = 0;
    // MWMO_INPUTAVAILABLE: messages already in the queue count, not only
    // those that arrived since the thread last looked.
    const DWORD wake_mask = (flags & TWPLAT_WAIT_FOR_MESSAGES) ? QS_ALLINPUT : 0;
    DWORD result = MsgWaitForMultipleObjectsEx(count, count ? handles : nullptr, milliseconds, wake_mask,
                                               MWMO_INPUTAVAILABLE);
    if (result == WAIT_TIMEOUT)
        return TWPLAT_WAIT_TIMEOUT;
    if (result == WAIT_FAILED)
        return TWPLAT_WAIT_FAILED;
    const DWORD index = result - WAIT_OBJECT_0;
    if (index == event_index)
        return TWPLAT_WAIT_EVENT;
    if (index == count)
        return TWPLAT_WAIT_MESSAGES;
    if (index == interrupt_index) {
        // The event, or a message, may have come in the same instant: they
        // come first, as elsewhere.
        if (event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0)
            return TWPLAT_WAIT_EVENT;
        if (wake_mask && LOWORD(GetQueueStatus(QS_ALLINPUT)) != 0)
            return TWPLAT_WAIT_MESSAGES;
        return TWPLAT_WAIT_INTERRUPTED;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return TWPLAT_WAIT_FAILED;
}

void twplat_wait_cancel(twplat_wait_t *wait) { wait->prepared = 0; }

void twplat_hold_signals(twplat_held_signals_t *held) { held->unused = 0; }

void twplat_restore_signals(const twplat_held_signals_t *) {}

}  // extern "C"
