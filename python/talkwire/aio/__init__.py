"""talkwire for asyncio programs (Python 3.7 or newer).

attach(connector, loop=None) -> Attachment
    Makes the running event loop pump the calling thread's window messages,
    so that `connector` (made on this thread, the loop's) calls its listener
    from the loop.  Off Windows the loop watches the thread's wake-up
    descriptor (talkwire.wakeup_fd) and pumps when it is readable; where the
    loop cannot watch descriptors (the Windows default loop) it pumps on a
    short timer.  Connectors attached on one thread share one pump;
    Attachment.detach() (or leaving its `with` block) ends it once the last
    one is detached.

AsyncConnector(listener=None, loop=None)
    A Connector attached to the loop, with awaitable helpers for the
    requests whose outcome arrives later as a listener callback:
    initialize(), login(), join(), leave(), logout() and shutdown().  Each
    returns once the callback that reports success arrives, or raises
    VoiceError with the voice service's status code and text when a failure
    callback arrives.  Every callback still reaches `listener`, awaited or
    not.  Any other Connector method is called through the AsyncConnector
    (or its `connector` attribute) as usual.  Awaiting a helper under
    asyncio.wait_for (or cancelling its task) stops the waiting and leaves
    no waiter behind; the request itself goes on, and its outcome reaches
    the listener.

VoiceError(status_code, status_text, callback)
    A request the voice service answered with a failure.

A listener callback that raises KeyboardInterrupt or SystemExit stops the
loop with that exception, as it ends Connector.Run.
"""
import sys

if sys.version_info < (3, 7):
    raise ImportError("talkwire.aio needs Python 3.7 or newer (this is Python %d.%d); "
                      "use talkwire.pump() in your own loop instead" % sys.version_info[:2])

from talkwire.aio._adapter import AsyncConnector, Attachment, VoiceError, attach  # noqa: E402

__all__ = ["AsyncConnector", "Attachment", "VoiceError", "attach"]
