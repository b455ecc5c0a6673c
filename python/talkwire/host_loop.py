"""talkwire inside the host's own loop: a frame loop, a GUI toolkit's loop or
asyncio (see talkwire.aio) instead of Connector.Run.

pump(timeout=0) -> int
    Dispatches the calling thread's waiting window messages, for every
    Connector made on this thread, exactly as Connector.Run would (same
    callbacks, same order), and returns how many it dispatched.  With
    nothing waiting it waits at most `timeout` seconds for something to
    arrive (0: not at all; None: as long as it takes) without holding the
    interpreter lock, and a signal handler that raises (Ctrl-C) ends that
    wait with its exception.  A listener callback that raises
    KeyboardInterrupt or SystemExit ends the pump with that exception, as it
    ends Run.  Callbacks may call pump() again: the inner call dispatches
    what is waiting, as a nested Run does.  A quit posted to the thread is
    left for its Run: the pump returns when it meets one and leaves it
    pending.  On Windows this is the PeekMessage, TranslateMessage,
    DispatchMessage round, so a host whose own loop already pumps need not
    call it.

wakeup_fd() -> int  (not on Windows)
    The calling thread's wake-up descriptor, for select, selectors or
    asyncio's add_reader.  It is level-triggered: readable exactly while the
    thread has window messages (or a quit) waiting, cleared only by the pump
    taking them, never by waiting on it; do not read from it or close it.
    It belongs to the thread that asked for it: the same number on every
    call from that thread, valid until that thread ends, and it tells about
    that thread's messages alone.

QuitHandle()
    Taken on the thread that runs Connector.Run.  handle.quit() posts a quit
    to that thread and returns True (False once the thread has ended); the
    thread's Run returns None once it has dispatched what was queued before.
    quit() may be called from that thread (a listener callback), from any
    other thread, or from a signal handler; each quit ends one Run.
    handle.thread_id is the platform's id of that thread.
"""
import sys

from _talkwire_loop import QuitHandle, pump

__all__ = ["QuitHandle", "pump"]

if sys.platform != "win32":
    from _talkwire_loop import wakeup_fd  # noqa: F401 (re-exported)

    __all__.append("wakeup_fd")
