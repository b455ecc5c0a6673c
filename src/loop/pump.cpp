#include "loop/pump.h"

#include "bridge/errors.h"
#include "bridge/interpreter_wait.h"
#include "bridge/messages.h"
#include "bridge/pump_exit.h"
#include "bridge/pump_round.h"

#include <cmath>

namespace talkwire {
namespace {

// Seconds as whole milliseconds for a wait, rounded up so that a short
// timeout still waits; INFINITE for None.  False with ValueError for a
// negative or NaN timeout.
bool timeout_milliseconds(PyObject *timeout, DWORD &milliseconds)
{
    if (!timeout || timeout == Py_None) {
        milliseconds = timeout ? INFINITE : 0;
        return true;
    }
    double seconds = PyFloat_AsDouble(timeout);
    if (seconds == -1.0 && PyErr_Occurred())
        return false;
    if (!(seconds >= 0.0)) {
        PyErr_SetString(PyExc_ValueError, "timeout must be a number of seconds, 0 or more");
        return false;
    }
    double rounded = std::ceil(seconds * 1000.0);
    milliseconds = rounded >= static_cast<double>(INFINITE - 1) ? INFINITE - 1 : static_cast<DWORD>(rounded);
    return true;
}

}  // namespace

const char kPumpDoc[] =
    "pump(timeout=0) -> int\n\n"
    "Dispatches the calling thread's waiting window messages, for every\n"
    "Connector made on this thread, exactly as Connector.Run would, and\n"
    "returns how many it dispatched.  With nothing waiting it waits at most\n"
    "`timeout` seconds for something to arrive (0: not at all; None: as long\n"
    "as it takes), letting go of the interpreter lock meanwhile.";

PyObject *loop_pump(PyObject *, PyObject *args, PyObject *kwargs)
{
    static const char *keywords[] = {"timeout", nullptr};
    PyObject *timeout = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:pump", const_cast<char **>(keywords), &timeout))
        return nullptr;
    DWORD milliseconds = 0;
    if (!timeout_milliseconds(timeout, milliseconds))
        return nullptr;

    PumpScope pump(nullptr);
    auto stop_after = [&pump] { return pump.exit_requested(); };
    PumpRound round = pump_round(stop_after);
    // Waits only when nothing at all was waiting: a pending quit counts, so
    // a quit left for Run does not make the caller sleep.
    if (round.dispatched == 0 && !round.quit_pending && !round.stopped && milliseconds != 0) {
        switch (wait_with_interpreter_released(nullptr, TWPLAT_WAIT_FOR_MESSAGES, milliseconds)) {
        case WaitEnd::raised:
            return nullptr;
        case WaitEnd::failed:
            return raise_error(0, "%s", msg::kCouldNotWaitForMessages);
        case WaitEnd::messages:
            round = pump_round(stop_after);
            break;
        default:
            break;
        }
    }
    if (round.stopped)
        return pump.raise_parked();
    return py::integer(static_cast<long>(round.dispatched));
}

}  // namespace talkwire
