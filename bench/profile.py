"""One benchmark scenario at a time, with no baselines, for a profiler:

    PYTHONMALLOC=malloc valgrind --tool=callgrind /usr/bin/python3.11 \\
        bench/profile.py --build build-bench events

Scenarios: events (participant updates through the bridge), round_trip
(GetMicrophoneVolume), control (MuteChannelOutput), noop
(DisableGlobalPushToTalkMode)."""
from __future__ import print_function

import argparse

from harness import Session, find_modules

CHANNEL = "lobby"
HANDLE = "sess-lobby"
PEER = "sip:peer-00000@voice.example"


class Listener(object):
    def __init__(self):
        self.count = 0
        self.sdk = None

    def OnParticipantStateChanged(self, uri, channel, flag_a, flag_b):
        self.count += 1

    def OnKeyEvent(self, name, state):
        self.sdk.post_quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--count", type=int, default=50000)
    parser.add_argument("scenario", choices=["events", "round_trip", "control", "noop"])
    options = parser.parse_args()
    find_modules(options.build)

    listener = Listener()
    session = Session(listener)
    listener.sdk = session.sdk
    sdk = session.sdk
    session.join([CHANNEL], lambda name: "sess-" + name)
    session.add_participants(HANDLE, [PEER])
    count = options.count
    connector = session.connector
    if options.scenario == "events":
        sdk.event_burst(count, 28, session_handle=HANDLE, participant_uri=PEER, flag_a=1, flag_b=0, level=0.5)
        sdk.event(18, binding_name="end", key_state=0)
        connector.Run()
        assert listener.count == count
    elif options.scenario == "round_trip":
        sdk.answer("aux_get_mic_level", level=50)
        for done in range(0, count, 1000):
            for _ in range(1000):
                connector.GetMicrophoneVolume()
            session.pump()
            sdk.clear_requests()
    elif options.scenario == "control":
        for done in range(0, count, 1000):
            for _ in range(1000):
                connector.MuteChannelOutput(CHANNEL, 1)
            sdk.clear_requests()
    else:
        for _ in range(count):
            connector.DisableGlobalPushToTalkMode()
    session.close()


if __name__ == "__main__":
    main()
