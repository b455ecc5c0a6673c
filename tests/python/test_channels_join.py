"""Joining and leaving channels end to end: JoinChannelEx, LeaveChannel,
ChannelJoinInProgressCount, the placing of sessions one at a time, and the
channel branches of both dispatchers."""
import sys
import unittest

import voicesdk

from support import E_FAIL, E_INVALIDARG, PY3, ConnectorTest, RecordingListener, Unraisables, fields

ADDED, REMOVED = 4, 5            # session states of event type 4
DISCONNECTED, CONNECTED = 1, 2   # media states of event type 20


def uri_of(name):
    return "sip:" + name + "@voice.example"


class ChannelTest(ConnectorTest):
    """A logged-in connector and short ways to drive a channel's join."""

    def setUp(self):
        ConnectorTest.setUp(self)
        voicesdk.answer("sessiongroup_create", session_group_handle="group-1")
        voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {}, connector_handle="conn-1")
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, account_handle="acct-1")
        self.pump()
        voicesdk.clear_requests()
        self.listener.clear()

    def created(self, name, **results):
        """Queues the successful channel-create answer for `name`."""
        results.setdefault("channel_uri", uri_of(name))
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create", {"channel_name": name},
                            **results)

    def session_added(self, name, handle, **outcome):
        """Queues the add-session answer for `name`."""
        voicesdk.respond_to(voicesdk.RESPONSE_SESSIONGROUP_ADD_SESSION, "sessiongroup_add_session",
                            {"channel_name": name, "channel_uri": uri_of(name)},
                            session_handle=handle, **outcome)

    def media(self, handle, state, **extra):
        voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, session_handle=handle, media_state=state, **extra)

    def join(self, *names):
        """Joins and answers the channel-create requests; pumps."""
        for name in names:
            self.connector.JoinChannelEx(name)
        for name in names:
            self.created(name)
        self.pump()

    def connect(self, name, handle):
        """Takes a placed channel to Connected; pumps."""
        self.session_added(name, handle)
        self.media(handle, CONNECTED)
        self.pump()

    def placed(self):
        """Channel names of the add-session requests, in issue order."""
        return [fields(r)["channel_name"] for r in self.requests("sessiongroup_add_session")]

    def count(self):
        return self.connector.ChannelJoinInProgressCount()


class SingleJoinTest(ChannelTest):
    def test_join_end_to_end(self):
        self.assertIsNone(self.connector.JoinChannelEx("lobby"))
        create = self.last_request("account_channel_create")
        self.assertEqual(create["fields"], [
            ("account_handle", "acct-1"), ("channel_name", "lobby"), ("channel_password", ""),
            ("channel_mode", 0), ("is_persistent", 0), ("is_protected", 0), ("max_participants", 100),
            ("max_range", 100), ("channel_description", None)])
        self.assertEqual(self.count(), 0)  # Idle until the channel exists

        self.created("lobby")
        self.pump()
        group = self.last_request("sessiongroup_create")
        self.assertTrue(group["sync"])
        self.assertEqual(fields(group)["account_handle"], "acct-1")
        add = self.last_request("sessiongroup_add_session")
        self.assertEqual(add["fields"], [("sessiongroup_handle", "group-1"), ("channel_uri", uri_of("lobby")),
                                         ("channel_name", "lobby"), ("connect_audio", 1)])
        self.assertEqual(self.count(), 1)
        self.assertEqual(self.listener.calls, [])  # nothing to tell until the session connects

        self.connect("lobby", "sess-1")
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", "lobby")])
        self.assertEqual(self.count(), 1)

        voicesdk.event(voicesdk.EVENT_PARTICIPANT_ADDED, session_handle="sess-1", participant_uri="sip:ann",
                       participant_type=0)
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_UPDATED, session_handle="sess-1", participant_uri="sip:ann", flag_a=2,
                       flag_b=0, level=0.5)
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_ADDED, session_handle="sess-1", participant_uri="sip:bob",
                       participant_type=1)
        self.pump()
        self.assertEqual(self.connector.GetParticipants("lobby"), [("sip:ann", 1, 0), ("sip:bob", 0, 0)])
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_REMOVED, session_handle="sess-1", participant_uri="sip:ann")
        self.pump()
        self.assertEqual(self.connector.GetParticipants("lobby"), [("sip:bob", 0, 0)])

        self.assertIsNone(self.connector.LeaveChannel("lobby"))
        remove = self.last_request("sessiongroup_remove_session")
        self.assertEqual(remove["fields"], [("session_handle", "sess-1"), ("sessiongroup_handle", "group-1")])
        self.assertEqual(self.count(), 1)  # Leaving still counts
        self.media("sess-1", DISCONNECTED)
        self.pump()
        self.assertEqual(self.count(), 0)
        self.assertEqual(self.connector.GetParticipants("lobby"), [])
        self.assertEqual(self.listener.calls, [
            ("OnJoinedChannel", "lobby"),
            ("OnParticipantJoined", "sip:ann", "lobby"),
            ("OnParticipantStateChanged", "sip:ann", "lobby", 2, 0),
            ("OnParticipantJoined", "sip:bob", "lobby"),
            ("OnParticipantLeft", "sip:ann", "lobby"),
            ("OnLeftChannel", "lobby")])
        # One session group for the connector's lifetime.
        self.assertEqual(len(self.requests("sessiongroup_create")), 1)

    def test_rejoin_while_pending_keeps_one_record(self):
        self.connector.JoinChannelEx("a")
        self.connector.JoinChannelEx("a")
        self.assertEqual(len(self.requests("account_channel_create")), 2)
        self.created("a")
        self.created("a")
        self.pump()
        # The second answer finds the session under way and adds no second one.
        self.assertEqual(self.placed(), ["a"])
        self.assertEqual(self.count(), 1)
        self.connect("a", "s-a")
        self.created("a")
        self.pump()
        self.assertEqual(self.placed(), ["a"])
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", "a")])

    def test_failed_channel_create_keeps_the_name(self):
        self.connector.JoinChannelEx("a")
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create", {"channel_name": "a"},
                            return_code=1, status_code=404)
        self.pump()
        self.assertEqual(self.listener.calls, [("FailedChannelCreate", 404, "")])
        self.assertEqual(self.count(), 0)
        self.connector.JoinChannelEx("a")  # still Idle: a retry is allowed
        self.assertEqual(len(self.requests("account_channel_create")), 2)


class JoinErrorsTest(ChannelTest):
    def test_order_of_checks(self):
        self.assertWindowsError(E_INVALIDARG, "Invalid channel name", self.connector.JoinChannelEx, "")
        self.join("a")
        self.assertWindowsError(E_INVALIDARG, "Channel already either connected or in process of connecting",
                                self.connector.JoinChannelEx, "a")
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=0)
        self.pump()
        # The name is checked before the login.
        self.assertWindowsError(E_INVALIDARG, "Invalid channel name", self.connector.JoinChannelEx, "")
        self.assertWindowsError(E_FAIL, "Must be logged in to Join Channel", self.connector.JoinChannelEx, "a")
        self.assertEqual(len(self.requests("account_channel_create")), 1)

    def test_every_busy_state_refuses_a_second_join(self):
        busy = "Channel already either connected or in process of connecting"
        self.join("a", "b")  # "a" Connecting, "b" Created
        for name in ("a", "b"):
            self.assertWindowsError(E_INVALIDARG, busy, self.connector.JoinChannelEx, name)
        self.connect("a", "s-a")  # "a" Connected, "b" Connecting
        for name in ("a", "b"):
            self.assertWindowsError(E_INVALIDARG, busy, self.connector.JoinChannelEx, name)
        self.connector.LeaveChannel("a")
        # Leaving, and no longer desired: joining it again is accepted.
        self.connector.JoinChannelEx("a")
        self.assertEqual(len(self.requests("account_channel_create")), 3)
        self.pump()

    def test_refused_create_adds_nothing(self):
        voicesdk.refuse(42)
        self.assertWindowsError(42, "Couldn't create channel", self.connector.JoinChannelEx, "a")
        self.created("a")
        self.pump()
        self.assertEqual(self.placed(), [])
        self.assertEqual(self.count(), 0)

    def test_argument_errors(self):
        for call in (lambda: self.connector.JoinChannelEx(), lambda: self.connector.JoinChannelEx(5),
                     lambda: self.connector.LeaveChannel(None), lambda: self.connector.JoinChannelEx("a", "b")):
            self.assertRaises(TypeError, call)
        self.assertWindowsError(E_INVALIDARG, "Invalid channel name", self.connector.LeaveChannel, "")
        self.assertEqual(voicesdk.requests(), [])


class PlacingTest(ChannelTest):
    def test_second_channel_waits_for_the_first_to_connect(self):
        seen = []

        class Listener(RecordingListener):
            def OnJoinedChannel(inner, name):
                seen.append((name, self.placed()))

        self.listener.__class__ = Listener
        self.join("a", "b")
        self.assertEqual(self.placed(), ["a"])
        self.assertEqual(self.count(), 2)  # the waiting one counts too
        self.connect("a", "s-a")
        # "b" was placed before the listener heard of "a".
        self.assertEqual(seen, [("a", ["a", "b"])])

    def test_first_connection_places_every_waiting_channel_in_byte_order(self):
        self.join("first")
        self.join("b", "B", "a", "_")
        self.assertEqual(self.placed(), ["first"])
        self.connect("first", "s-1")
        # Upper case sorts before "_", which sorts before lower case.
        self.assertEqual(self.placed(), ["first", "B", "_", "a", "b"])

    def test_later_connections_place_nothing(self):
        self.join("a")
        self.connect("a", "s-a")
        self.join("b")
        self.session_added("b", "s-b")
        voicesdk.clear_requests()
        self.media("s-b", CONNECTED)
        self.pump()
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", "a"), ("OnJoinedChannel", "b")])
        self.assertEqual(self.placed(), [])

    def test_failed_add_session(self):
        self.join("a", "c", "b")
        self.assertEqual(self.placed(), ["a"])
        counts = []

        class Listener(RecordingListener):
            def FailedJoinChannel(inner, code, message):
                inner.calls.append(("FailedJoinChannel", code, message))
                counts.append(self.count())  # still registered during the call

        self.listener.__class__ = Listener
        # A request without a URI and an answer without a status text.
        voicesdk.respond_to(voicesdk.RESPONSE_SESSIONGROUP_ADD_SESSION, "sessiongroup_add_session",
                            {"channel_name": "a"}, return_code=1, status_code=1001)
        self.pump()
        self.assertEqual(self.listener.calls,
                         [("FailedJoinChannel", 1001, "Couldn't do resp_sessiongroup_add_session('null,')")])
        self.assertEqual(counts, [3])
        self.assertEqual(self.count(), 2)
        # The next waiting channel in name order is placed; the other waits.
        self.assertEqual(self.placed(), ["a", "b"])
        # "a" is gone and no longer desired: joining it again is allowed.
        self.connector.JoinChannelEx("a")
        self.pump()

    def test_failed_add_session_message_carries_uri_and_text(self):
        self.join("a")
        self.session_added("a", None, return_code=1, status_code=5, status_text="busy")
        self.pump()
        self.assertEqual(self.listener.of("FailedJoinChannel"),
                         [(5, "Couldn't do resp_sessiongroup_add_session('" + uri_of("a") + ",busy')")])

    def test_failed_add_session_for_unknown_channel_only_reports(self):
        self.join("a", "b")
        self.session_added("zzz", None, return_code=1, status_code=3)
        self.pump()
        self.assertEqual(self.listener.names(), ["FailedJoinChannel"])
        self.assertEqual(self.placed(), ["a"])
        self.assertEqual(self.count(), 2)

    def test_session_create_answers(self):
        self.join("a")
        voicesdk.respond_to(voicesdk.RESPONSE_SESSION_CREATE, "session_create", {"channel_name": "a"},
                            session_handle="s-a")
        voicesdk.respond_to(voicesdk.RESPONSE_SESSION_CREATE, "session_create",
                            {"channel_name": "a", "channel_uri": "sip:x"}, return_code=1,
                            status_code=9, status_text="no")
        voicesdk.respond_to(voicesdk.RESPONSE_SESSION_CREATE, "session_create", {}, return_code=1, status_code=8)
        self.media("s-a", CONNECTED)
        self.pump()
        self.assertEqual(self.listener.calls, [
            ("FailedJoinChannel", 9, "Couldn't do create_session('sip:x,no')"),
            ("FailedJoinChannel", 8, "Couldn't do create_session('null,')"),
            ("OnJoinedChannel", "a")])
        self.assertEqual(self.count(), 1)

    def test_session_group_failure_leaves_the_channel_waiting(self):
        voicesdk.reset()
        voicesdk.answer("sessiongroup_create", return_code=1, status_code=321)
        self.connector.JoinChannelEx("a")
        self.created("a")
        with Unraisables() as hook:
            self.pump()
        self.assertEqual(len(hook.seen), 1)
        if sys.version_info >= (3, 8):
            self.assertEqual(hook.seen[0].errno, 321)
            self.assertEqual(hook.seen[0].filename, "Couldn't create session group.")
        self.assertEqual(self.placed(), [])
        self.assertEqual(self.count(), 1)  # still Created

    def test_refused_placement_does_not_stop_the_walk(self):
        self.join("first")
        self.join("a", "b")
        self.session_added("first", "s-1")
        self.media("s-1", CONNECTED)
        self.assertTrue(voicesdk.flush(5.0))
        voicesdk.refuse(77)  # the add-session of "a"
        with Unraisables() as hook:
            self.pump()
        self.assertEqual(len(hook.seen), 1)
        if sys.version_info >= (3, 8):
            self.assertEqual((hook.seen[0].errno, hook.seen[0].filename), (77, "Couldn't create voice session."))
        self.assertEqual(self.placed(), ["first", "a", "b"])
        self.assertEqual([r["accepted"] for r in self.requests("sessiongroup_add_session")], [True, False, True])
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", "first")])


class LeavingTest(ChannelTest):
    def test_leave_before_the_channel_exists(self):
        self.connector.JoinChannelEx("a")
        self.connector.LeaveChannel("a")
        self.created("a")
        self.pump()
        self.assertEqual(voicesdk.requests()[1:], [])  # no session group, no session
        self.assertEqual(self.count(), 0)
        self.assertEqual(self.listener.calls, [])

    def test_leave_a_waiting_channel_removes_it(self):
        self.join("a", "b")
        self.connector.LeaveChannel("b")
        self.assertEqual(self.count(), 1)
        self.assertEqual(self.requests("sessiongroup_remove_session"), [])
        self.connect("a", "s-a")
        self.assertEqual(self.placed(), ["a"])

    def test_leave_while_connecting_then_connected(self):
        self.join("a")
        self.session_added("a", "s-a")
        self.pump()
        self.connector.LeaveChannel("a")
        self.assertEqual(len(self.requests("sessiongroup_remove_session")), 1)
        # The late connection of a channel nobody wants hangs up quietly.
        self.media("s-a", CONNECTED)
        self.pump()
        removes = self.requests("sessiongroup_remove_session")
        self.assertEqual(len(removes), 2)
        self.assertEqual(fields(removes[1]), {"session_handle": "s-a", "sessiongroup_handle": "group-1"})
        self.assertEqual(self.listener.calls, [])
        self.assertEqual(self.count(), 1)  # Leaving

    def test_refused_hang_up_of_unwanted_session(self):
        self.join("a")
        self.session_added("a", "s-a")
        self.pump()
        self.connector.LeaveChannel("a")
        self.media("s-a", CONNECTED)
        self.assertTrue(voicesdk.flush(5.0))
        voicesdk.refuse(13)
        with Unraisables() as hook:
            self.pump()
        self.assertEqual(len(hook.seen), 1)
        if sys.version_info >= (3, 8):
            self.assertEqual(hook.seen[0].filename, "Couldn't terminate voice session")
        self.assertEqual(self.listener.calls, [])

    def test_refused_leave_keeps_the_channel(self):
        self.join("a")
        self.connect("a", "s-a")
        voicesdk.refuse(6)
        self.assertWindowsError(6, "Couldn't Leave Channel", self.connector.LeaveChannel, "a")
        # Still desired and Connected: a second join is refused, a leave works.
        self.assertWindowsError(E_INVALIDARG, "Channel already either connected or in process of connecting",
                                self.connector.JoinChannelEx, "a")
        self.connector.LeaveChannel("a")
        self.assertEqual(len(self.requests("sessiongroup_remove_session")), 2)

    def test_leave_of_unknown_names(self):
        self.assertIsNone(self.connector.LeaveChannel("never"))
        self.join("a")
        self.connect("a", "s-a")
        self.connector.LeaveChannel("a")
        # Nothing is desired now: a leave touches no record at all.
        self.connector.LeaveChannel("a")
        self.assertEqual(len(self.requests("sessiongroup_remove_session")), 1)

    def test_session_lost_while_connecting(self):
        self.join("a")
        self.session_added("a", "s-a")
        self.media("s-a", DISCONNECTED, status_code=503, status_text="lost")
        self.pump()
        self.assertEqual(self.listener.calls, [("FailedJoinChannel", 503, "lost"), ("OnLeftChannel", "a")])
        self.assertEqual(self.count(), 0)

    def test_disconnect_of_connected_reports_only_the_leave(self):
        counts = []

        class Listener(RecordingListener):
            def OnLeftChannel(inner, name):
                inner.calls.append(("OnLeftChannel", name))
                counts.append(self.count())  # the record is already out

        self.listener.__class__ = Listener
        self.join("a")
        self.connect("a", "s-a")
        self.media("s-a", DISCONNECTED, status_code=1)
        self.pump()
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", "a"), ("OnLeftChannel", "a")])
        self.assertEqual(counts, [0])

    def test_disconnect_places_the_next_waiting_channel(self):
        self.join("a", "c", "b")
        self.session_added("a", "s-a")
        self.media("s-a", DISCONNECTED)
        self.pump()
        self.assertEqual(self.placed(), ["a", "b"])

    def test_events_for_unknown_sessions_are_ignored(self):
        self.join("a")
        self.session_added("a", "s-a")
        self.media("nobody", CONNECTED)
        self.media("nobody", DISCONNECTED)
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_ADDED, session_handle="nobody", participant_uri="sip:x", participant_type=0)
        voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, media_state=CONNECTED)  # no handle at all
        self.pump()
        self.assertEqual(self.listener.calls, [])
        self.assertEqual(self.count(), 1)
        self.assertEqual(self.connector.GetParticipants("a"), [])

    def test_empty_session_handle_is_not_a_waiting_channels_session(self):
        # A channel placed but not yet answered has no session handle: an
        # event carrying an empty one must not be taken for its session, or
        # a stray event would connect, fill or drop a channel that has no
        # session yet.
        self.join("a")
        self.media("", CONNECTED)
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_ADDED, session_handle="", participant_uri="sip:x", participant_type=0)
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_UPDATED, session_handle="", participant_uri="sip:x", flag_a=1, flag_b=0, level=0.5)
        self.media("", DISCONNECTED, status_code=1)
        self.pump()
        self.assertEqual(self.listener.calls, [])
        self.assertEqual(self.count(), 1)
        self.assertEqual(self.connector.GetParticipants("a"), [])
        # Once its session is known, the channel's own events reach it.
        self.connect("a", "s-a")
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", "a")])


class RejoinWhileLeavingTest(ChannelTest):
    """A channel joined again before its old session has gone: the join goes
    ahead once that session is gone, or is reported as failed."""

    def leave_and_rejoin(self):
        self.join("a")
        self.connect("a", "s-old")
        self.connector.LeaveChannel("a")
        self.connector.JoinChannelEx("a")
        self.listener.clear()

    def test_goes_ahead_whichever_comes_first(self):
        for create_first in (True, False):
            self.leave_and_rejoin()
            if create_first:
                self.created("a", channel_uri="sip:a-again")
                self.pump()
                self.assertEqual(self.placed(), ["a"])  # nothing while the old session is there
            self.media("s-old", DISCONNECTED)
            if not create_first:
                self.created("a", channel_uri="sip:a-again")
            self.pump()
            self.assertEqual(self.placed(), ["a", "a"])
            self.assertEqual(fields(self.last_request("sessiongroup_add_session"))["channel_uri"], "sip:a-again")
            self.assertEqual(self.count(), 1)
            self.connect("a", "s-new")
            self.assertEqual(self.listener.calls, [("OnLeftChannel", "a"), ("OnJoinedChannel", "a")])
            # The new session is the channel's: its controls and its leave use it.
            self.connector.LeaveChannel("a")
            self.assertEqual(fields(self.last_request("sessiongroup_remove_session"))["session_handle"], "s-new")
            self.media("s-new", DISCONNECTED)
            self.pump()
            self.assertEqual(self.count(), 0)
            voicesdk.clear_requests()

    def test_old_session_connecting_late_is_hung_up_again(self):
        self.join("a")
        self.session_added("a", "s-old")
        self.pump()
        self.connector.LeaveChannel("a")  # still Connecting
        self.connector.JoinChannelEx("a")
        self.created("a")
        self.media("s-old", CONNECTED)
        self.pump()
        # Connected is not joined: that session is the one going.
        self.assertEqual(self.listener.calls, [])
        self.assertEqual(len(self.requests("sessiongroup_remove_session")), 2)
        self.media("s-old", DISCONNECTED)
        self.pump()
        self.assertEqual(self.placed(), ["a", "a"])
        self.assertEqual(self.listener.calls, [("OnLeftChannel", "a")])

    def test_refused_removal_reports_the_join_failed(self):
        self.leave_and_rejoin()
        self.created("a")
        remove = len(voicesdk.requests()) - 2  # the channel-create came after it
        self.assertEqual(voicesdk.requests()[remove]["kind"], "sessiongroup_remove_session")
        voicesdk.respond(remove, return_code=1, status_code=1005, status_text="busy")
        self.pump()
        self.assertEqual(self.listener.calls, [("FailedJoinChannel", 1005, "Couldn't rejoin channel 'a': busy")])
        # Left, as after any leave: still counted until the old session goes,
        # and a new join is accepted.
        self.assertEqual(self.count(), 1)
        self.media("s-old", DISCONNECTED)
        self.pump()
        self.assertEqual(self.listener.of("OnLeftChannel"), [("a",)])
        self.assertEqual((self.placed(), self.count()), (["a"], 0))
        self.connector.JoinChannelEx("a")

    def test_refused_removal_without_a_rejoin_reports_nothing(self):
        self.join("a")
        self.connect("a", "s-old")
        self.connector.LeaveChannel("a")
        voicesdk.respond(-1, return_code=1, status_code=1005)
        self.pump()
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", "a")])
        self.assertEqual(self.count(), 1)

    def test_leaving_again_calls_the_rejoin_off(self):
        self.leave_and_rejoin()
        self.created("a")
        self.pump()
        self.connector.LeaveChannel("a")
        self.media("s-old", DISCONNECTED)
        self.pump()
        self.assertEqual(self.listener.calls, [("OnLeftChannel", "a")])
        self.assertEqual((self.placed(), self.count()), (["a"], 0))

    def test_join_from_the_leave_callback_adds_one_session(self):
        class Listener(RecordingListener):
            def OnLeftChannel(inner, name):
                inner.calls.append(("OnLeftChannel", name))
                self.connector.JoinChannelEx(name)  # still wanted: accepted, asks again

        self.leave_and_rejoin()
        self.listener.__class__ = Listener
        self.created("a")
        self.media("s-old", DISCONNECTED)
        self.created("a")
        self.pump()
        self.assertEqual(len(self.requests("account_channel_create")), 3)
        self.assertEqual(self.placed(), ["a", "a"])
        self.assertEqual(self.count(), 1)

    def test_session_removed_lets_the_rejoin_go_ahead(self):
        self.leave_and_rejoin()
        self.created("a")
        voicesdk.event(voicesdk.EVENT_SESSION_STATE_CHANGE, session_state=REMOVED, channel_name="a")
        self.pump()
        self.assertEqual(self.listener.calls, [("OnLeftChannel", "a")])
        self.assertEqual(self.placed(), ["a", "a"])
        # The old session's disconnect, if it still comes, finds nothing.
        self.media("s-old", DISCONNECTED)
        self.pump()
        self.assertEqual(self.listener.calls, [("OnLeftChannel", "a")])
        self.assertEqual(self.count(), 1)


class SessionStateTest(ChannelTest):
    def test_added_and_removed_with_unregistered_names(self):
        voicesdk.event(voicesdk.EVENT_SESSION_STATE_CHANGE, session_state=ADDED, session_flag=1, channel_name="nowhere")
        voicesdk.event(voicesdk.EVENT_SESSION_STATE_CHANGE, session_state=ADDED, session_flag=0, channel_name="silent")
        voicesdk.event(voicesdk.EVENT_SESSION_STATE_CHANGE, session_state=REMOVED, channel_name="gone")
        voicesdk.event(voicesdk.EVENT_SESSION_STATE_CHANGE, session_state=3, session_flag=1, channel_name="other")
        self.pump()
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", "nowhere"), ("OnLeftChannel", "gone")])
        self.assertEqual(voicesdk.requests(), [])

    def test_added_for_a_channel_left_hangs_up(self):
        self.join("a")
        self.connect("a", "s-a")
        self.connector.LeaveChannel("a")
        voicesdk.event(voicesdk.EVENT_SESSION_STATE_CHANGE, session_state=ADDED, session_flag=1, channel_name="a")
        self.pump()
        self.assertEqual(len(self.requests("sessiongroup_remove_session")), 2)
        self.assertEqual(self.listener.of("OnJoinedChannel"), [("a",), ("a",)])
        self.assertEqual(self.count(), 1)  # still Leaving

    def test_removed_drops_the_record_but_not_the_wish(self):
        self.join("a")
        self.connect("a", "s-a")
        voicesdk.event(voicesdk.EVENT_SESSION_STATE_CHANGE, session_state=REMOVED, channel_name="a")
        self.pump()
        self.assertEqual(self.count(), 0)
        self.assertEqual(self.listener.of("OnLeftChannel"), [("a",)])
        # Desired without a record: joining again is allowed.
        self.connector.JoinChannelEx("a")


class LoginStateTest(ChannelTest):
    def populate(self):
        self.join("a", "b", "c")
        self.connect("a", "s-a")
        self.connector.JoinChannelEx("idle")
        self.assertEqual(self.count(), 3)

    def test_logged_out_clears_everything(self):
        self.populate()
        counts = []

        class Listener(RecordingListener):
            def OnLoggedIn(inner, state):
                inner.calls.append(("OnLoggedIn", state))
                counts.append(self.count())

        self.listener.__class__ = Listener
        self.listener.clear()
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=0)
        self.pump()
        self.assertEqual(self.listener.calls, [("OnLoggedIn", 0)])
        self.assertEqual(counts, [0])  # cleared before the callback
        self.assertWindowsError(E_FAIL, "Must be logged in to Join Channel", self.connector.JoinChannelEx, "x")
        # The session-group handle went too.
        self.connector.SetSpeakingChannel()
        self.assertEqual(fields(self.last_request("sessiongroup_set_tx_no_session")), {"sessiongroup_handle": ""})
        voicesdk.clear_requests()
        self.media("s-b", CONNECTED)
        self.created("idle")
        self.pump()
        self.assertEqual(voicesdk.requests(), [])

    def test_login_failure_clears_everything(self):
        self.populate()
        self.listener.clear()
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATUS, login_state=100, status_code=20200)
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=100, status_code=7, status_text="bad")
        self.pump()
        self.assertEqual(self.listener.calls, [("OnAccountNotFound",), ("FailedOnLogin", 7, "bad")])
        self.assertEqual(self.count(), 0)
        self.assertEqual(self.connector.GetParticipants("a"), [])

    def test_other_states_keep_the_channels(self):
        self.populate()
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=7)
        self.pump()
        self.assertEqual(self.count(), 3)

    def test_new_session_group_after_logging_in_again(self):
        self.join("a")
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=0)
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, account_handle="acct-2")
        self.pump()
        self.join("b")
        groups = self.requests("sessiongroup_create")
        self.assertEqual([fields(g)["account_handle"] for g in groups], ["acct-1", "acct-2"])


class ByteOrderTest(ChannelTest):
    def test_shared_session_handle_finds_the_first_name(self):
        # Two records carrying one handle: the byte-wise first wins.
        self.join("b")
        self.connect("b", "s-x")
        self.join("a", "B")
        self.session_added("a", "s-dup")
        self.session_added("B", "s-dup")
        self.media("s-dup", CONNECTED)
        voicesdk.event(voicesdk.EVENT_PARTICIPANT_ADDED, session_handle="s-dup", participant_uri="sip:p",
                       participant_type=0)
        self.pump()
        self.assertEqual(self.listener.calls[-2:], [("OnJoinedChannel", "B"), ("OnParticipantJoined", "sip:p", "B")])

    def test_names_that_are_not_utf8_round_trip(self):
        name = b"caf\xe9".decode("utf-8", "surrogateescape") if PY3 else b"caf\xe9"
        self.join(name)
        self.connect(name, "s-1")
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", name)])
        self.assertEqual(fields(self.last_request("sessiongroup_add_session"))["channel_name"], name)


if __name__ == "__main__":
    unittest.main()
