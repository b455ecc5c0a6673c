"""Helpers for the host-loop tests: a whole session driven by any pump."""
import time

import talkwire
import voicesdk


def play_session(connector, listener, dispatch, timeout=10.0):
    """Initialises, logs in, joins two channels, leaves them, logs out and
    shuts down against the simulated service (latency 0), calling
    dispatch() whenever the session waits for its answers."""
    deadline = time.time() + timeout

    def until(condition):
        while not condition():
            assert time.time() < deadline, "the session stalled"
            assert voicesdk.settle(5.0), "the service did not settle"
            dispatch()

    connector.InitializeEx()
    until(lambda: listener.of("OnInitialized"))
    connector.Login("alice", "secret")
    until(lambda: (talkwire.LOGGED_IN,) in listener.of("OnLoggedIn"))
    connector.JoinChannelEx("lobby")
    connector.JoinChannelEx("squad")
    until(lambda: len(listener.of("OnJoinedChannel")) == 2)
    connector.LeaveChannel("squad")
    connector.LeaveChannel("lobby")
    until(lambda: len(listener.of("OnLeftChannel")) == 2)
    connector.Logout()
    until(lambda: (talkwire.LOGGED_OUT,) in listener.of("OnLoggedIn"))
    connector.InitiateShutdown()
    until(lambda: listener.of("OnShutDown"))
