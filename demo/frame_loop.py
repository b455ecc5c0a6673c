"""A game's frame loop with voice: 60 updates a second, and the voice
callbacks dispatched in the time left over in each frame by talkwire.pump(),
against the simulated voice service.  No Connector.Run: the loop is the
game's.  It ends by itself once the session is over and exits 0 when the
session went as it should.

Run it with ./scripts/demo.sh frame-loop (or with _talkwire, _talkwire_loop,
voicesdk and the talkwire package on the path).
"""
from __future__ import print_function

import sys
import time

try:
    from typing import Any  # noqa: F401 (a type comment's)
except ImportError:  # Python 2.7
    pass

import talkwire
import voicesdk  # only to choose the simulated voice service
from talkwire.demo import short  # sip:ava@orb.voiceservice.example -> ava

FRAME = 1.0 / 60
clock = getattr(time, "perf_counter", time.time)


class Game(talkwire.Listener):
    """The game's state, moved on by its voice callbacks."""

    def __init__(self):
        self.connector = None  # type: Any  # main() gives it the connector it listens to
        self.frame = 0
        self.phase = "starting"
        self.talking = set()
        self.peers_seen = 0
        self.peers_left = 0
        self.callbacks = 0
        self.callback_frames = set()

    def heard(self, text):
        self.callbacks += 1
        self.callback_frames.add(self.frame)
        print("frame %4d  voice   %s" % (self.frame, text))

    def OnInitialized(self, status_code):
        self.heard("connector ready (status %d)" % status_code)
        self.connector.Login("player1", "secret")

    def OnLoggedIn(self, login_state):
        self.heard("login state %d" % login_state)
        if login_state == talkwire.LOGGED_IN:
            self.connector.JoinChannelEx("arena")
        elif login_state == talkwire.LOGGED_OUT:
            self.connector.InitiateShutdown()

    def OnJoinedChannel(self, channel_name):
        self.heard("in %s" % channel_name)
        self.phase = "playing"

    def OnParticipantJoined(self, participant_uri, channel_name):
        self.peers_seen += 1
        self.heard("%s came in" % participant_uri)

    def OnParticipantStateChanged(self, participant_uri, channel_name, flag_a, flag_b):
        if flag_a:
            self.talking.add(participant_uri)
        else:
            self.talking.discard(participant_uri)

    def OnParticipantLeft(self, participant_uri, channel_name):
        self.peers_left += 1
        self.heard("%s left" % participant_uri)
        if self.peers_left == self.peers_seen:
            self.connector.LeaveChannel(channel_name)

    def OnLeftChannel(self, channel_name):
        self.heard("out of %s" % channel_name)
        self.connector.Logout()

    def OnShutDown(self):
        self.heard("connector shut down")
        self.phase = "over"


def update(game):
    """One frame of the game: here it only shows who talks, twice a second."""
    if game.frame % 30 == 0:
        talking = ", ".join(sorted(short(uri) for uri in game.talking)) or "nobody"
        print("frame %4d  game    %-8s talking: %s" % (game.frame, game.phase, talking))


def frame_loop(game, limit_seconds=9.0):
    start = clock()
    next_frame = start
    late = 0
    while game.phase != "over" and clock() - start < limit_seconds:
        game.frame += 1
        update(game)
        next_frame += FRAME
        # The rest of the frame belongs to voice: pump() returns as soon as
        # it has dispatched what arrived, and never waits past the frame.
        while True:
            left = next_frame - clock()
            if left <= 0:
                break
            talkwire.pump(left)
        if clock() - next_frame > FRAME:
            late += 1
            next_frame = clock()  # behind by more than a frame: do not try to catch up
    return clock() - start, late


def main():
    voicesdk.mode("service")
    voicesdk.service(latency=0.02, peers=["ava", "ben"], peer_interval=0.15, talk_rounds=2)
    game = Game()
    game.connector = talkwire.Connector(game)
    game.connector.InitializeEx("orb")
    seconds, late = frame_loop(game)
    print()
    print("%d frames in %.2f s (%.1f a second, %d late); %d voice callbacks in %d different frames"
          % (game.frame, seconds, game.frame / seconds, late, game.callbacks, len(game.callback_frames)))
    game.connector = None
    voicesdk.reset()
    return 0 if game.phase == "over" and game.peers_left == 2 else 1


if __name__ == "__main__":
    sys.exit(main())
