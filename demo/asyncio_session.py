"""A voice session in an asyncio program, against the simulated voice
service: initialise, log in, join two channels, wait for the peers, leave,
log out, shut down.  Each step awaits the callback that reports it
(talkwire.aio); the listener still hears everything, awaited or not.  It
ends by itself and exits 0 when the session went as it should.

Run it with ./scripts/demo.sh asyncio (Python 3.7 or newer).
"""
import asyncio
import sys
from typing import Dict, Set

import talkwire
import voicesdk  # only to choose the simulated voice service
from talkwire import aio
from talkwire.demo import log  # the demo session's timeline

CHANNELS = ("lobby", "squad")
PEERS = {"lobby": ["ava", "ben"], "squad": ["cai"]}


class Listener(talkwire.Listener):
    """Hears every callback; tells the program when all peers are in."""

    def __init__(self):
        self.present = {name: set() for name in CHANNELS}  # type: Dict[str, Set[str]]
        self.everyone_in = asyncio.Event()

    def OnParticipantJoined(self, participant_uri, channel_name):
        self.present[channel_name].add(participant_uri)
        log("listener", "%s came into %s" % (participant_uri, channel_name))
        if all(len(self.present[name]) == len(PEERS[name]) for name in CHANNELS):
            self.everyone_in.set()

    def OnParticipantStateChanged(self, participant_uri, channel_name, flag_a, flag_b):
        log("listener", "%s %s in %s" % (participant_uri, "talks" if flag_a else "is quiet", channel_name))

    def OnParticipantLeft(self, participant_uri, channel_name):
        log("listener", "%s left %s" % (participant_uri, channel_name))


async def step(text, awaitable, timeout=3.0):
    log("client", text + " ...")
    result = await asyncio.wait_for(awaitable, timeout)
    log("client", text + " done")
    return result


async def session():
    listener = Listener()
    async with aio.AsyncConnector(listener) as voice:
        await step('initialize("orb")', voice.initialize("orb"))
        await step('login("player1", "secret")', voice.login("player1", "secret"))
        await step("join both channels", asyncio.gather(*(voice.join(name) for name in CHANNELS)))
        await step("wait for the peers", listener.everyone_in.wait())
        voice.SetSpeakingChannel("squad")  # any Connector method, as usual
        for name in CHANNELS:
            await step('leave("%s")' % name, voice.leave(name))
        await step("logout()", voice.logout())
        await step("shutdown()", voice.shutdown())
    return True


def main():
    voicesdk.mode("service")
    voicesdk.service(latency=0.02, channel_peers=PEERS, peer_interval=0.1, talk_rounds=1, peers_leave=False)
    print("talkwire asyncio example: one voice session against the simulated voice service")
    try:
        ok = asyncio.run(session())
    except (aio.VoiceError, asyncio.TimeoutError) as error:
        log("client", "failed: %r" % (error,))
        ok = False
    voicesdk.reset()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
