"""One voice session, end to end, against the simulated voice service: what
the client does and what its listener hears, on one timeline.

Run it with `python -m talkwire` (or ./scripts/demo.sh from the sources).
main() ends by itself and returns 0 when the session went as it should.
DemoListener, Session and run_session are there for other programs to play
the same session.  It needs the stand-in SDK's control module, voicesdk.
"""
from __future__ import print_function

import collections
import sys
import threading
import time

import voicesdk

import talkwire

CHANNELS = ("lobby", "squad")
START = time.time()


def log(who, text):
    print("%7.3fs  %-8s  %s" % (time.time() - START, who, text))
    sys.stdout.flush()


def short(uri):
    """sip:ava@orb.voiceservice.example -> ava"""
    return uri.split(":", 1)[-1].split("@", 1)[0]


def meter(level, width=20):
    filled = int(round(level * width / float(talkwire.MIC_LEVEL_MAX)))
    return "|%s%s| %3d" % ("#" * filled, "." * (width - filled), level)


class DemoListener(talkwire.Listener):
    """Prints every callback in plain words and keeps what the client waits
    for."""

    LOGIN_STATES = {talkwire.LOGGED_OUT: "logged out", talkwire.LOGGING_IN: "logging in",
                    talkwire.LOGGED_IN: "logged in", talkwire.LOGGING_OUT: "logging out"}

    def __init__(self, pump_thread):
        self.pump_thread = pump_thread  # the quit handle of the thread that runs Run
        self.counts = {}
        self.login_state = talkwire.LOGGED_OUT
        self.initialized = None
        self.troubleshooter = None
        self.joined = []
        self.left = []
        self.participants = dict((name, set()) for name in CHANNELS)  # type: dict
        self.peers_left = 0
        self.shut_down = False

    def heard(self, name, text):
        self.counts[name] = self.counts.get(name, 0) + 1
        log("listener", "%-26s %s" % (name, text))

    def OnInitialized(self, status_code):
        self.initialized = status_code
        self.heard("OnInitialized", "connector ready" if status_code == 0 else "failed: %d" % status_code)

    def OnLoggedIn(self, login_state):
        self.login_state = login_state
        self.heard("OnLoggedIn", self.LOGIN_STATES.get(login_state, str(login_state)))

    def OnAccountNotFound(self):
        self.heard("OnAccountNotFound", "no such account")

    def FailedOnLogin(self, status_code, status_text):
        self.heard("FailedOnLogin", "%d %s" % (status_code, status_text))

    def OnMicrophoneIntensityEvent(self, level, minimum, maximum):
        self.heard("OnMicrophoneIntensityEvent", "mic " + meter(level))

    def OnConnectivityTroubleShooterErrorFound(self, outcome, test_name, detail, info):
        self.troubleshooter = outcome
        if outcome == talkwire.TROUBLESHOOTER_ALL_PASSED:
            text = "every connectivity test passed"
        else:
            text = "%s failed: %s %s" % (test_name, detail, info)
        self.heard("OnConnectivityTroubleShooterErrorFound", text)

    def OnJoinedChannel(self, channel_name):
        self.joined.append(channel_name)
        self.heard("OnJoinedChannel", "in %s" % channel_name)

    def OnLeftChannel(self, channel_name):
        self.left.append(channel_name)
        self.heard("OnLeftChannel", "out of %s" % channel_name)

    def FailedChannelCreate(self, status_code, status_text):
        self.heard("FailedChannelCreate", "%d %s" % (status_code, status_text))

    def FailedJoinChannel(self, status_code, message):
        self.heard("FailedJoinChannel", "%d %s" % (status_code, message))

    def OnParticipantJoined(self, participant_uri, channel_name):
        self.participants[channel_name].add(participant_uri)
        self.heard("OnParticipantJoined", "%s came into %s" % (participant_uri, channel_name))

    def OnParticipantStateChanged(self, participant_uri, channel_name, flag_a, flag_b):
        doing = "talks" if flag_a else "is quiet"
        self.heard("OnParticipantStateChanged", "%s %s in %s" % (short(participant_uri), doing, channel_name))

    def OnParticipantLeft(self, participant_uri, channel_name):
        self.participants[channel_name].discard(participant_uri)
        self.peers_left += 1
        self.heard("OnParticipantLeft", "%s left %s" % (short(participant_uri), channel_name))

    def OnShutDown(self):
        self.shut_down = True
        self.heard("OnShutDown", "connector gone; ending the pump")
        self.pump_thread.quit()  # Run returns


class Session(object):
    def __init__(self, connector, listener):
        self.connector = connector
        self.listener = listener
        self.pump_thread = listener.pump_thread

    def do(self, text, call, *args):
        result = call(*args)
        log("client", text if result is None else "%s -> %r" % (text, result))
        return result

    def pump(self, seconds):
        """Runs the message pump for a while, as a frame loop would."""
        timer = threading.Timer(seconds, self.pump_thread.quit)
        timer.start()
        try:
            self.connector.Run()
        finally:
            timer.join()

    def wait(self, what, condition, timeout=4.0):
        deadline = time.time() + timeout
        while not condition():
            if time.time() > deadline:
                raise RuntimeError("gave up waiting for " + what)
            self.pump(0.02)


def run_session(session, listener):
    c = session.connector
    do = session.do

    do('InitializeEx("orb")', c.InitializeEx, "orb")
    session.wait("the connector", lambda: listener.initialized is not None)
    do('Login("player1", "secret")', c.Login, "player1", "secret")
    session.wait("the login", lambda: listener.login_state == talkwire.LOGGED_IN)

    inputs = do("GetAudioInputDevices()", c.GetAudioInputDevices)
    do("GetPreferredAudioInputDevice()", c.GetPreferredAudioInputDevice)
    do("SetPreferredAudioInputDevice(%d)  # %s" % (1, inputs[1][1]), c.SetPreferredAudioInputDevice, 1)
    do("GetPreferredAudioInputDevice()", c.GetPreferredAudioInputDevice)
    outputs = do("GetAudioOutputDevices()", c.GetAudioOutputDevices)
    do("SetPreferredAudioOutputDevice(%d)  # %s" % (1, outputs[1][1]), c.SetPreferredAudioOutputDevice, 1)
    do("GetMicrophoneVolume()", c.GetMicrophoneVolume)
    do("SetMicrophoneVolume(24000)", c.SetMicrophoneVolume, 24000)
    do("GetSpeakerVolume()", c.GetSpeakerVolume)

    do("StartAudioTest()  # say something", c.StartAudioTest)
    session.pump(0.75)
    do("StopAudioTest()", c.StopAudioTest)
    do("GetAudioTestPassed()", c.GetAudioTestPassed)

    do("RunTroubleShooter()", c.RunTroubleShooter)
    session.wait("the troubleshooter", lambda: listener.troubleshooter is not None)

    for name in CHANNELS:
        do('JoinChannelEx("%s")' % name, c.JoinChannelEx, name)
    log("client", "  (squad waits until lobby is connected)")
    session.wait("both channels", lambda: len(listener.joined) == len(CHANNELS))
    do("ChannelJoinInProgressCount()", c.ChannelJoinInProgressCount)

    settings = voicesdk.service()
    peers = dict((n, len(settings["channel_peers"].get(n, settings["peers"]))) for n in CHANNELS)
    session.wait("the peers", lambda: all(len(listener.participants[n]) == peers[n] for n in CHANNELS))
    do('SetSpeakingChannel("squad")', c.SetSpeakingChannel, "squad")
    do('SetAudioPositionAndFacing("squad", 2, 0, -1, 0, 0, 0, 1.57)', c.SetAudioPositionAndFacing,
       "squad", 2.0, 0.0, -1.0, 0.0, 0.0, 0.0, 1.57)
    lobby = do('GetParticipants("lobby")', c.GetParticipants, "lobby")
    squad = do('GetParticipants("squad")', c.GetParticipants, "squad")
    loud, noisy = lobby[0][0], squad[-1][0]
    do('SetParticipantVolumeForMe("lobby", "%s", 24000)' % loud, c.SetParticipantVolumeForMe, "lobby", loud, 24000)
    do('MuteParticipantForMe("squad", "%s", 1)' % noisy, c.MuteParticipantForMe, "squad", noisy, 1)

    session.wait("the peers to leave", lambda: listener.peers_left == sum(peers.values()), timeout=6.0)
    for name in CHANNELS:
        do('LeaveChannel("%s")' % name, c.LeaveChannel, name)
    session.wait("leaving", lambda: len(listener.left) == len(CHANNELS))

    do("Logout()", c.Logout)
    session.wait("the logout", lambda: listener.login_state == talkwire.LOGGED_OUT)
    do("InitiateShutdown()", c.InitiateShutdown)
    # The listener ends the pump once the connector is shut down; the timer
    # is only a safety net.
    watchdog = threading.Timer(3.0, session.pump_thread.quit)
    watchdog.start()
    c.Run()
    watchdog.cancel()
    watchdog.join()
    log("client", "Run() returned" if listener.shut_down else "Run() returned without a shutdown")
    return listener.shut_down


def summary(listener):
    # The service keeps only the latest requests; the total counts them all.
    requests = voicesdk.requests()
    issued = voicesdk.request_total()
    by_kind = collections.Counter(request["kind"] for request in requests)
    print()
    print("summary: %.1f s, %d requests issued, %d callbacks received" %
          (time.time() - START, issued, sum(listener.counts.values())))
    print("  callbacks by kind:")
    for name in talkwire.CALLBACKS:
        if name in listener.counts:
            print("    %-40s %3d" % (name, listener.counts[name]))
    print("  requests by kind:" if len(requests) == issued else
          "  requests by kind (the latest %d):" % len(requests))
    for kind in sorted(by_kind):
        print("    %-40s %3d" % (kind, by_kind[kind]))


def main():
    global START
    START = time.time()
    voicesdk.reset()
    voicesdk.mode("service")
    # Peers a little quicker than by default, and others in the squad.
    voicesdk.service(peer_interval=0.2, channel_peers={"squad": ["cai", "dee", "eve"]}, talk_rounds=1)
    print("talkwire demo: one voice session against the simulated voice service")
    print("   time   who       what")
    listener = DemoListener(talkwire.QuitHandle())
    connector = talkwire.Connector(listener)
    try:
        ok = run_session(Session(connector, listener), listener)
    except RuntimeError as error:
        log("client", "error: %s" % error)
        ok = False
    summary(listener)
    del connector
    voicesdk.reset()
    return 0 if ok else 1

