"""The asyncio adapter behind talkwire.aio (Python 3.7 or newer)."""
import asyncio
import collections
import select
import threading
import weakref
from typing import Any, Dict, List, Optional, Set, Tuple

import talkwire

# Seconds between pumps where the loop cannot watch the wake-up descriptor,
# or while a quit left for Run keeps it readable.
TIMED_PUMP_INTERVAL = 0.005


class VoiceError(Exception):
    """A request the voice service answered with a failure: `status_code`
    and `status_text` are the service's, `callback` names the listener
    callback that reported it."""

    def __init__(self, status_code: int, status_text: str, callback: str) -> None:
        Exception.__init__(self, status_code, status_text, callback)
        self.status_code = status_code
        self.status_text = status_text
        self.callback = callback

    def __str__(self):
        text = " %s" % self.status_text if self.status_text else ""
        return "%s: status %d%s" % (self.callback, self.status_code, text)


class _ThreadPump(object):
    """Pumps one thread's messages from one loop while connectors are
    attached."""

    def __init__(self, loop, key):
        self.loop = loop
        self.key = key
        self.attached = 0
        self.fd = None
        self.timer = None
        self.stopped = False

    def start(self):
        fd = getattr(talkwire, "wakeup_fd", None)
        if fd is not None:
            try:
                self.loop.add_reader(fd(), self.readable)
                self.fd = fd()
                return
            except NotImplementedError:
                pass
        self.schedule()

    def stop(self):
        self.stopped = True
        if self.fd is not None:
            self.loop.remove_reader(self.fd)
            self.fd = None
        if self.timer is not None:
            self.timer.cancel()
            self.timer = None

    # A callback run by the pump may detach the last connector (stop()):
    # the pump is looked at again after each one.

    def readable(self):
        if talkwire.pump() == 0 and not self.stopped and self.still_readable():
            # Nothing for us, yet the descriptor stays readable: a quit
            # waits there for Run.  Watching it would spin; pump on the
            # timer until it is taken.
            self.loop.remove_reader(self.fd)
            self.schedule()

    def still_readable(self):
        return bool(select.select([self.fd], [], [], 0)[0])

    def schedule(self):
        self.timer = self.loop.call_later(TIMED_PUMP_INTERVAL, self.tick)

    def tick(self):
        self.timer = None
        talkwire.pump()
        if self.stopped:
            return
        if self.fd is not None and not self.still_readable():
            self.loop.add_reader(self.fd, self.readable)
        else:
            self.schedule()


_pumps = {}  # type: Dict[Tuple[asyncio.AbstractEventLoop, int], _ThreadPump]


class Attachment(object):
    """A connector attached to a loop; detach() lets go of it (once)."""

    def __init__(self, connector, pump):
        self.connector = connector
        self._pump = pump

    def detach(self) -> None:
        pump, self._pump = self._pump, None
        self.connector = None
        if pump is None:
            return
        pump.attached -= 1
        if pump.attached == 0:
            pump.stop()
            del _pumps[pump.key]

    @property
    def attached(self):
        return self._pump is not None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.detach()
        return False


def _running_loop(loop: Optional[asyncio.AbstractEventLoop]) -> asyncio.AbstractEventLoop:
    try:
        running = asyncio.get_running_loop()
    except RuntimeError:
        running = None
    if loop is None:
        if running is None:
            raise RuntimeError("no running event loop: call from a coroutine, or pass loop=")
        return running
    if running is not None and running is not loop:
        raise RuntimeError("the loop given is not the one running on this thread")
    return loop


def attach(connector: Any, loop: Optional[asyncio.AbstractEventLoop] = None) -> "Attachment":
    """Makes `loop` (default: the running loop) pump the calling thread's
    messages, which `connector` was made on, and returns an Attachment."""
    loop = _running_loop(loop)
    key = (loop, threading.get_ident())
    pump = _pumps.get(key)
    if pump is None:
        pump = _ThreadPump(loop, key)
        pump.start()
        _pumps[key] = pump
    pump.attached += 1
    return Attachment(connector, pump)


# The callbacks the helpers wait for; every other one goes straight to the
# user's listener.
_WATCHED = ("OnInitialized", "OnShutDown", "OnLoggedIn", "OnAccountNotFound", "FailedOnLogin",
            "FailedChannelCreate", "FailedJoinChannel", "OnJoinedChannel", "OnLeftChannel")


class _Relay(object):
    """The listener the Connector calls: the helpers' waiters hear the
    callbacks they wait for, then the user's listener hears every one.
    Callbacks nobody waits for are the user's listener's own bound methods,
    looked up once, so they cost nothing more than without the adapter.  It
    holds its AsyncConnector weakly: dropping that lets go of the connector
    at once, with no cycle to wait for."""

    def __init__(self, owner, listener):
        self._owner = weakref.ref(owner)
        self._listener = listener
        for name in talkwire.CALLBACKS:
            if name not in _WATCHED:
                method = getattr(listener, name, None)
                if method is not None:
                    setattr(self, name, method)

    def _hear(self, name, arguments, note):
        owner = self._owner()
        if owner is not None:
            note(owner, *arguments)
        method = getattr(self._listener, name, None)
        if method is not None:
            method(*arguments)

    def OnInitialized(self, status_code):
        self._hear("OnInitialized", (status_code,), AsyncConnector._initialized)

    def OnShutDown(self):
        self._hear("OnShutDown", (), AsyncConnector._shut_down)

    def OnLoggedIn(self, login_state):
        self._hear("OnLoggedIn", (login_state,), AsyncConnector._login_state)

    def OnAccountNotFound(self):
        self._hear("OnAccountNotFound", (), AsyncConnector._account_not_found)

    def FailedOnLogin(self, status_code, status_text):
        self._hear("FailedOnLogin", (status_code, status_text), AsyncConnector._failed_on_login)

    def FailedChannelCreate(self, status_code, status_text):
        self._hear("FailedChannelCreate", (status_code, status_text), AsyncConnector._failed_channel_create)

    def FailedJoinChannel(self, status_code, message):
        self._hear("FailedJoinChannel", (status_code, message), AsyncConnector._failed_join_channel)

    def OnJoinedChannel(self, channel_name):
        self._hear("OnJoinedChannel", (channel_name,), AsyncConnector._joined)

    def OnLeftChannel(self, channel_name):
        self._hear("OnLeftChannel", (channel_name,), AsyncConnector._left)


class AsyncConnector(object):
    """A Connector attached to the running loop, with awaitable helpers.

    The helpers for one connector wait for the callbacks of its requests:
    initialize() for OnInitialized, login() for OnLoggedIn(LOGGED_IN),
    join(name) for OnJoinedChannel(name), leave(name) for
    OnLeftChannel(name), logout() for OnLoggedIn(LOGGED_OUT), shutdown() for
    OnShutDown.  OnInitialized with a status, FailedOnLogin and
    OnAccountNotFound, FailedChannelCreate and FailedJoinChannel raise
    VoiceError in the helpers waiting for them.  The service names no
    channel in FailedChannelCreate and in a FailedJoinChannel that is not
    followed by OnLeftChannel for the channel: such a failure goes to the
    join waiting longest (channels are created and placed in the order they
    were joined).  A helper whose request the connector carries out without
    asking the service (leave() of a channel not joined, logout() when not
    logged in, shutdown() when not initialised) returns at once; leave()
    during a join also ends that join's wait with VoiceError.  There is no
    failure callback for a shutdown: bound it with asyncio.wait_for.

    Like every connector it must be made on the thread of the loop that
    pumps it; messages of the voice SDK go to the connector registered first
    in the process.
    """

    def __init__(self, listener: Any = None, loop: Optional[asyncio.AbstractEventLoop] = None) -> None:
        self.listener = listener
        self.loop = _running_loop(loop)
        self.connector = talkwire.Connector(_Relay(self, listener))  # type: Optional[talkwire.Connector]
        self._attachment = attach(self.connector, self.loop)
        # kind -> [(argument, future)]
        self._waiters = collections.defaultdict(list)  # type: Dict[str, List[Tuple[Optional[str], asyncio.Future]]]
        self._join_failure = None  # type: Optional[VoiceError]
        self.initialized = False
        self.login_state = talkwire.LOGGED_OUT
        self.channels = set()  # type: Set[str]  # joined: OnJoinedChannel heard, OnLeftChannel not yet

    def __getattr__(self, name):
        # Every other Connector method, through the connector.
        connector = self.__dict__.get("connector")
        if connector is None:
            raise AttributeError(name)
        return getattr(connector, name)

    def _open(self) -> Any:
        if self.connector is None:
            raise RuntimeError("this AsyncConnector is closed")
        return self.connector

    @property
    def waiting(self) -> int:
        """How many helper calls are waiting for their callback."""
        return sum(len(waiters) for waiters in self._waiters.values())

    def close(self) -> None:
        """Detaches from the loop and lets go of the connector."""
        self._attachment.detach()
        for waiters in self._waiters.values():
            for _, future in waiters:
                future.cancel()
        self._waiters.clear()
        self.connector = None

    async def __aenter__(self):
        return self

    async def __aexit__(self, *exc):
        self.close()
        return False

    # ---- helpers ----------------------------------------------------------

    async def initialize(self, *arguments: Any) -> None:
        """InitializeEx(*arguments); returns when OnInitialized reports 0."""
        return await self._request("initialize", None, self._open().InitializeEx, *arguments)

    async def login(self, account_name: str, password: str) -> None:
        """Login(); returns when OnLoggedIn reports LOGGED_IN."""
        return await self._request("login", None, self._open().Login, account_name, password)

    async def join(self, channel_name: str) -> None:
        """JoinChannelEx(channel_name); returns when OnJoinedChannel reports it."""
        return await self._request("join", channel_name, self._open().JoinChannelEx, channel_name)

    async def leave(self, channel_name: str) -> None:
        """LeaveChannel(channel_name); returns when OnLeftChannel reports it
        (at once for a channel not joined)."""
        self._fail("join", VoiceError(0, "left before it was joined", "LeaveChannel"), channel_name)
        if channel_name not in self.channels:
            self._open().LeaveChannel(channel_name)
            return None
        return await self._request("leave", channel_name, self._open().LeaveChannel, channel_name)

    async def logout(self) -> None:
        """Logout(); returns when OnLoggedIn reports LOGGED_OUT (at once when
        not logged in)."""
        if self.login_state == talkwire.LOGGED_OUT:
            self._open().Logout()
            return None
        return await self._request("logout", None, self._open().Logout)

    async def shutdown(self) -> None:
        """InitiateShutdown(); returns when OnShutDown reports it (at once
        when not initialised)."""
        if not self.initialized:
            self._open().InitiateShutdown()
            return None
        return await self._request("shutdown", None, self._open().InitiateShutdown)

    async def _request(self, kind, argument, method, *arguments):
        future = self.loop.create_future()
        entry = (argument, future)
        waiters = self._waiters[kind]
        waiters.append(entry)
        try:
            method(*arguments)
            return await future
        finally:
            # Resolved, failed, or given up (cancelled, a raising method):
            # nothing waits any more.
            if entry in waiters:
                waiters.remove(entry)

    # ---- what the relay hears ---------------------------------------------

    def _resolve(self, kind, argument=None):
        for entry in list(self._waiters.get(kind, ())):
            if entry[0] == argument and not entry[1].done():
                entry[1].set_result(None)
                self._waiters[kind].remove(entry)

    def _fail(self, kind, error, argument=None, oldest_only=False):
        for entry in list(self._waiters.get(kind, ())):
            if (oldest_only or entry[0] == argument) and not entry[1].done():
                entry[1].set_exception(error)
                self._waiters[kind].remove(entry)
                if oldest_only:
                    return True
        return False

    def _initialized(self, status_code):
        if status_code == 0:
            self.initialized = True
            self._resolve("initialize")
        else:
            self._fail("initialize", VoiceError(status_code, "", "OnInitialized"))

    def _shut_down(self):
        self.initialized = False
        self._resolve("shutdown")

    def _login_state(self, login_state):
        self.login_state = login_state
        if login_state == talkwire.LOGGED_IN:
            self._resolve("login")
        elif login_state == talkwire.LOGGED_OUT:
            self.channels.clear()
            self._resolve("logout")

    def _login_failed(self, error):
        self.login_state = talkwire.LOGGED_OUT
        self._fail("login", error)
        self._fail("logout", error)

    def _account_not_found(self):
        self._login_failed(VoiceError(talkwire.STATUS_ACCOUNT_NOT_FOUND, "", "OnAccountNotFound"))

    def _failed_on_login(self, status_code, status_text):
        self._login_failed(VoiceError(status_code, status_text, "FailedOnLogin"))

    def _failed_channel_create(self, status_code, status_text):
        self._fail("join", VoiceError(status_code, status_text, "FailedChannelCreate"), oldest_only=True)

    def _failed_join_channel(self, status_code, message):
        # A session lost while connecting is followed by OnLeftChannel for
        # its channel within the same dispatch; otherwise the failure is the
        # oldest join's.
        error = VoiceError(status_code, message, "FailedJoinChannel")
        self._join_failure = error
        self.loop.call_soon(self._settle_join_failure, error)

    def _settle_join_failure(self, error):
        if self._join_failure is error:
            self._join_failure = None
            self._fail("join", error, oldest_only=True)

    def _joined(self, channel_name):
        self.channels.add(channel_name)
        self._resolve("join", channel_name)

    def _left(self, channel_name):
        self.channels.discard(channel_name)
        self._resolve("leave", channel_name)
        # A failure just before it was this channel's (its session was lost
        # while connecting).
        error, self._join_failure = self._join_failure, None
        self._fail("join", error or VoiceError(0, "left before it was joined", "OnLeftChannel"), channel_name)
