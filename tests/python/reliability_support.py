"""What the reliability tests share: a connector with a joined channel, so
that every method has something to act on, and a view of a connector's
state that Python can observe without changing it."""
import sys

import _talkwire
import voicesdk

from support import ConnectorTest, pump

PY3 = sys.version_info[0] >= 3

CHANNEL = "chan"
CHANNEL_URI = "sip:chan@voice.example"
SESSION = "sess-1"
PARTICIPANT = "sip:ann"

# Every request kind answered on the synchronous road, with the answer a
# well-behaved SDK gives.
SYNC_ANSWERS = [
    ("sessiongroup_create", {"session_group_handle": "group-1"}),
    ("aux_get_capture_devices", {"devices": ["mic-a", "mic-b"], "current_device": "mic-b"}),
    ("aux_get_render_devices", {"devices": ["spk-a"], "current_device": "spk-a"}),
    ("aux_set_capture_device", {}),
    ("aux_set_render_device", {}),
    ("aux_capture_audio_start", {}),
    ("aux_capture_audio_stop", {}),
    ("aux_get_mic_level", {"level": 50}),
    ("aux_get_speaker_level", {"level": 25}),
    ("aux_set_mic_level", {}),
    ("aux_set_speaker_level", {}),
]


def answer_synchronous_requests():
    for kind, results in SYNC_ANSWERS:
        voicesdk.answer(kind, **results)


def join_channel(connector, name=CHANNEL, uri=CHANNEL_URI, session=SESSION):
    """Takes a logged-in connector's channel to Connected, with one
    participant."""
    connector.JoinChannelEx(name)
    voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create", {"channel_name": name},
                        channel_uri=uri)
    pump(connector)
    voicesdk.respond_to(voicesdk.RESPONSE_SESSIONGROUP_ADD_SESSION, "sessiongroup_add_session",
                        {"channel_name": name, "channel_uri": uri},
                        session_handle=session)
    voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, session_handle=session, media_state=2)
    voicesdk.event(voicesdk.EVENT_PARTICIPANT_ADDED, session_handle=session, participant_uri=PARTICIPANT,
                   participant_type=0)
    pump(connector)


def make_joined(connector):
    """Connector handle, account, session group and one connected channel:
    every method that issues a request would issue it now."""
    voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {}, connector_handle="conn-1")
    voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, account_handle="acct-1")
    pump(connector)
    join_channel(connector)
    voicesdk.clear_requests()


def observe(connector):
    """The connector's observable state, and the cookies its probes used.

    The probes are asynchronous requests that nobody answers; their fields
    show the handles, the voice domain, the account-server URL and the
    channel record, their cookies show whether anything took a number."""
    voicesdk.clear_requests()
    state = {
        "in progress": connector.ChannelJoinInProgressCount(),
        "test passed": connector.GetAudioTestPassed(),
        "participants": connector.GetParticipants(CHANNEL),
    }
    connector.RunTroubleShooter()
    connector.Talk(0)
    connector.Logout()
    connector.CreateAccount("u", "p", "t", "d")
    connector.SetSpeakingChannel(CHANNEL)
    connector.ModeratorMuteAll(CHANNEL, 0)
    recorded = voicesdk.requests()
    voicesdk.clear_requests()
    state["probes"] = [(r["kind"], r["fields"]) for r in recorded]
    return state, [int(r["cookie"]) for r in recorded]


class JoinedConnectorTest(ConnectorTest):
    """A connector in the joined state, synchronous requests answered."""

    def setUp(self):
        ConnectorTest.setUp(self)
        voicesdk.fault_clear()
        answer_synchronous_requests()
        make_joined(self.connector)
        self.listener.clear()

    def tearDown(self):
        voicesdk.fault_clear()
        ConnectorTest.tearDown(self)

    def fresh_joined(self):
        """Replaces self.connector with a new joined one."""
        if not PY3:
            sys.exc_clear()  # its frames may hold the old connector
        self.connector = None
        voicesdk.flush(5.0)
        voicesdk.reset()
        answer_synchronous_requests()
        self.connector = _talkwire.Connector(self.listener)
        make_joined(self.connector)
        self.listener.clear()
