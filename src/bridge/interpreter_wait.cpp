#include "bridge/interpreter_wait.h"

#include "bridge/requests.h"

#include <chrono>

namespace talkwire {
namespace {

using Clock = std::chrono::steady_clock;

DWORD milliseconds_left(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<DWORD>(left);
}

}  // namespace

WaitEnd wait_with_interpreter_released(HANDLE event, DWORD flags, DWORD milliseconds)
{
    const bool forever = milliseconds == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
    for (;;) {
        // Handlers of signals that came before run here, with the thread's
        // signals as the program set them.
        if (PyErr_CheckSignals() < 0)
            return WaitEnd::raised;
        twplat_wait_t wait;
        twplat_wait_prepare(&wait, static_cast<HANDLE>(py::interrupt_event()));
        // From here a signal is held until the sleep, which it then ends;
        // one that came in between the two looks is handled now.
        if (PyErr_CheckSignals() < 0) {
            twplat_wait_cancel(&wait);
            return WaitEnd::raised;
        }
        const DWORD timeout = forever ? INFINITE : milliseconds_left(deadline);
        DWORD result;
        Py_BEGIN_ALLOW_THREADS
        result = twplat_wait(&wait, event, flags, timeout);
        Py_END_ALLOW_THREADS
        switch (result) {
        case TWPLAT_WAIT_EVENT:
            return WaitEnd::event;
        case TWPLAT_WAIT_MESSAGES:
            return WaitEnd::messages;
        case TWPLAT_WAIT_TIMEOUT:
            return WaitEnd::timeout;
        case TWPLAT_WAIT_INTERRUPTED:
            continue;  // the handler runs at the top; a quiet one leaves us waiting
        default:
            return WaitEnd::failed;
        }
    }
}

AnswerWait wait_for_answer(HANDLE event)
{
    // An answer that came while the request was being issued needs no
    // sleep, and the interpreter lock need not change hands.
    if (WaitForSingleObject(event, 0) == WAIT_OBJECT_0)
        return AnswerWait::answered;
    switch (wait_with_interpreter_released(event, 0, INFINITE)) {
    case WaitEnd::event:
        return AnswerWait::answered;
    case WaitEnd::raised:
        return AnswerWait::abandoned;
    default:
        return AnswerWait::failed;
    }
}

}  // namespace talkwire
