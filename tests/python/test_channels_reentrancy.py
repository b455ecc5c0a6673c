"""Listeners and the unraisable hook that join and leave channels while the
handlers walk the registry, and a long random run checked step by step
against a model of the registry's rules."""
import random
import sys
import unittest

import _talkwire
import voicesdk

from support import E_FAIL, E_INVALIDARG, RecordingListener, fields
from test_channels_join import CONNECTED, DISCONNECTED, ChannelTest, uri_of

HAS_HOOK = hasattr(sys, "unraisablehook")


class HookActions(object):
    """Runs `action(error)` for each error reported as unraisable: through
    sys.unraisablehook where it exists, else through the stderr writes that
    report it."""

    def __init__(self, action):
        self.action = action
        self.saved = None

    def __enter__(self):
        if HAS_HOOK:
            self.saved = sys.unraisablehook
            sys.unraisablehook = lambda info: self.action(info.exc_value)
        else:
            self.saved = sys.stderr
            sys.stderr = self
        return self

    def write(self, text):
        if text.startswith("Exception"):
            self.action(None)

    def flush(self):
        pass

    def __exit__(self, *exc):
        if HAS_HOOK:
            sys.unraisablehook = self.saved
        else:
            sys.stderr = self.saved
        return False


class ReentrancyTest(ChannelTest):
    def test_hook_leaves_and_joins_during_a_placing_walk(self):
        self.join("first")
        self.join("a", "b", "c")
        self.session_added("first", "s-1")
        self.media("s-1", CONNECTED)
        self.assertTrue(voicesdk.flush(5.0))
        voicesdk.refuse(77)  # the add-session of "a"
        errors = []

        def action(error):
            errors.append(error)
            self.connector.LeaveChannel("b")  # a record the walk has still to visit
            self.connector.JoinChannelEx("d")

        with HookActions(action):
            self.pump()
        self.assertEqual(len(errors), 1)
        self.assertEqual(self.placed(), ["first", "a", "c"])
        self.assertEqual(self.count(), 3)  # first, a (still waiting), c
        self.created("d")
        self.pump()
        self.assertEqual(self.placed(), ["first", "a", "c", "d"])
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", "first")])

    def test_hook_clears_everything_during_a_walk(self):
        self.join("first")
        self.join("a", "b")
        self.session_added("first", "s-1")
        self.media("s-1", CONNECTED)
        self.assertTrue(voicesdk.flush(5.0))
        voicesdk.refuse(5)

        def action(error):
            for name in ("first", "a", "b"):
                self.connector.LeaveChannel(name)

        with HookActions(action):
            self.pump()
        self.assertEqual(self.placed(), ["first", "a"])
        self.assertEqual(self.count(), 1)  # "first" is leaving
        self.assertEqual(self.listener.calls, [("OnJoinedChannel", "first")])

    def test_listener_rejoins_while_its_channel_is_being_dropped(self):
        test = self

        class Listener(RecordingListener):
            def OnLeftChannel(self, name):
                self.calls.append(("OnLeftChannel", name))
                test.connector.JoinChannelEx(name)

        self.listener.__class__ = Listener
        self.join("a")
        self.connect("a", "s-a")
        self.media("s-a", DISCONNECTED)
        self.pump()
        self.assertEqual(self.listener.names(), ["OnJoinedChannel", "OnLeftChannel"])
        self.assertEqual(len(self.requests("account_channel_create")), 2)
        self.created("a")
        self.session_added("a", "s-a2")
        self.media("s-a2", CONNECTED)
        self.pump()
        self.assertEqual(self.listener.names(), ["OnJoinedChannel", "OnLeftChannel", "OnJoinedChannel"])
        self.assertEqual(self.count(), 1)

    def test_listener_leaves_the_channel_whose_join_failed(self):
        test = self

        class Listener(RecordingListener):
            def FailedJoinChannel(self, code, message):
                self.calls.append(("FailedJoinChannel", code))
                test.connector.LeaveChannel("a")
                test.connector.LeaveChannel("b")

        self.listener.__class__ = Listener
        self.join("a", "b", "c")
        self.session_added("a", None, return_code=1, status_code=2)
        self.pump()
        # "a" went Leaving in the call and is dropped after it; "b" went
        # with it, so "c" is the one placed next.
        self.assertEqual(self.placed(), ["a", "c"])
        self.assertEqual(self.count(), 1)

    def test_listener_joins_from_on_joined_channel(self):
        test = self

        class Listener(RecordingListener):
            def OnJoinedChannel(self, name):
                self.calls.append(("OnJoinedChannel", name))
                if name == "a":
                    test.connector.JoinChannelEx("z")
                    test.connector.LeaveChannel("b")

        self.listener.__class__ = Listener
        self.join("a", "b")
        self.connect("a", "s-a")
        self.created("z")
        self.pump()
        # "b" was placed before the callback and left in it.
        self.assertEqual(self.placed(), ["a", "b", "z"])
        self.assertEqual(len(self.requests("sessiongroup_remove_session")), 1)


# ---------------------------------------------------------------------------
# The model: the registry's rules written out plainly.  The real listener
# records each callback and whatever it did inside; the model replays those
# actions at the point where it makes the same callback, so both sides stay
# in step and every difference shows.

NAMES = ["a", "B", "b", "_x", "Z"]
PARTICIPANTS = ["sip:1", "sip:2", "sip:3"]
CREATED_, CONNECTING, CONNECTED_, LEAVING, IDLE = 1, 2, 3, 4, 5
BUSY = "Channel already either connected or in process of connecting"


class ModelError(Exception):
    def __init__(self, code, message):
        Exception.__init__(self, code, message)
        self.outcome = (code, message)


class Record(object):
    def __init__(self):
        self.state = IDLE
        self.session = ""
        self.uri = ""
        self.rejoin_uri = None  # joined again while leaving, and created
        self.participants = {}


class Model(object):
    def __init__(self, test, observed):
        self.test = test
        self.observed = observed      # what the real listener and hook saw
        self.issued = []              # the requests the connector should have made
        self.refusals = []
        self.cookie = 1
        self.account = ""
        self.group = ""
        self.desired = set()
        self.channels = {}
        self.rejoins = self.refused_rejoins = 0

    # Requests.
    def issue(self, kind, **values):
        refused = self.refusals.pop(0) if self.refusals else 0
        self.issued.append({"kind": kind, "cookie": str(self.cookie), "accepted": not refused, "fields": values})
        self.cookie += 1
        return refused

    # Replaying what happened on the real side.
    def expect(self, entry):
        self.test.assertTrue(self.observed, "missing %r" % (entry,))
        seen, action = self.observed.pop(0)
        self.test.assertEqual(seen, entry)
        if action:
            method, name, outcome = action
            try:
                getattr(self, method)(name)
                mine = None
            except ModelError as error:
                mine = error.outcome
            self.test.assertEqual(mine, outcome, "%s(%r)" % (method, name))

    def notify(self, *call):
        self.expect(("call",) + call)

    def report(self, error):
        if HAS_HOOK:
            self.expect(("hook",) + error.outcome)

    # Methods.
    def join(self, name):
        if not name:
            raise ModelError(E_INVALIDARG, "Invalid channel name")
        if not self.account:
            raise ModelError(E_FAIL, "Must be logged in to Join Channel")
        if name in self.desired and name in self.channels and self.channels[name].state != IDLE:
            raise ModelError(E_INVALIDARG, BUSY)
        refused = self.issue("account_channel_create", account_handle=self.account, channel_name=name)
        if refused:
            raise ModelError(refused, "Couldn't create channel")
        self.channels.setdefault(name, Record())
        self.desired.add(name)

    def leave(self, name):
        record = self.channels.get(name) if self.desired else None
        if record and record.state in (CONNECTING, CONNECTED_):
            refused = self.issue("sessiongroup_remove_session", session_handle=record.session,
                                 sessiongroup_handle=self.group)
            if refused:
                raise ModelError(refused, "Couldn't Leave Channel")
            record.state = LEAVING
        elif record and record.state == LEAVING:
            record.rejoin_uri = None
        elif record and record.state == CREATED_:
            del self.channels[name]
        self.desired.discard(name)

    def count(self):
        return len([r for r in self.channels.values() if r.state <= LEAVING])

    def in_state(self, state):
        return len([r for r in self.channels.values() if r.state == state])

    def participants(self, name):
        record = self.channels.get(name)
        return sorted((uri, int(a), int(b)) for uri, (a, b) in record.participants.items()) if record else []

    # Placing.
    def place(self, name):
        record = self.channels[name]
        if not self.account:
            raise ModelError(E_FAIL, "Couldn't place call - account logged out")
        if self.in_state(CONNECTED_) == 0 and self.in_state(CONNECTING) > 0:
            return
        if not self.group:
            refused = self.issue("sessiongroup_create", account_handle=self.account)
            if refused:
                raise ModelError(refused, "Couldn't create session group.")
            self.group = "group-1"
        refused = self.issue("sessiongroup_add_session", sessiongroup_handle=self.group, channel_uri=record.uri,
                             channel_name=name)
        if refused:
            raise ModelError(refused, "Couldn't create voice session.")
        record.state = CONNECTING

    def place_waiting(self):
        for name in sorted(n for n, r in self.channels.items() if r.state == CREATED_):
            record = self.channels.get(name)
            if record and record.state == CREATED_ and name in self.desired:
                try:
                    self.place(name)
                except ModelError as error:
                    self.report(error)

    def terminate(self, name):
        record = self.channels[name]
        refused = self.issue("sessiongroup_remove_session", session_handle=record.session,
                             sessiongroup_handle=self.group)
        if refused:
            self.report(ModelError(refused, "Couldn't terminate voice session"))
        return not refused

    def by_session(self, handle):
        for name in sorted(self.channels):
            if handle and self.channels[name].session == handle:
                return name
        return None

    # Responses.
    def channel_created(self, name, uri, ok, status_code, status_text):
        if not ok:
            self.notify("FailedChannelCreate", status_code, status_text or "")
            return
        record = self.channels.get(name) if name in self.desired else None
        if record is not None and record.state == LEAVING:
            record.rejoin_uri = uri
            return
        if record is None or record.state not in (IDLE, CREATED_):
            return
        record.uri = uri
        record.state = CREATED_
        try:
            self.place(name)
        except ModelError as error:
            self.report(error)

    def session_added(self, name, uri, ok, handle, status_code, status_text):
        if ok:
            if name in self.channels:
                self.channels[name].session = handle
            return
        self.notify("FailedJoinChannel", status_code,
                    "Couldn't do resp_sessiongroup_add_session('%s,%s')" % (uri or "null", status_text or ""))
        if name not in self.channels:
            return
        self.desired.discard(name)
        del self.channels[name]
        self.place_waiting()

    def session_removal_refused(self, handle, status_code):
        name = self.by_session(handle)
        if name is None or not self.rejoin_waits(name):
            return
        self.channels[name].rejoin_uri = None
        self.desired.discard(name)
        self.refused_rejoins += 1
        self.notify("FailedJoinChannel", status_code, "Couldn't rejoin channel '%s'" % name)

    def rejoin_waits(self, name):
        return self.channels[name].state == LEAVING and name in self.desired

    def resume_rejoin(self, name, uri):
        if name not in self.desired:
            return
        record = self.channels.setdefault(name, Record())
        self.rejoins += 1
        if uri is not None and record.state == IDLE:
            record.uri = uri
            record.state = CREATED_

    # Events.
    def login_state(self, state, status_code):
        if state == 100:
            self.clear()
            if status_code == 20200:
                self.notify("OnAccountNotFound")
            else:
                self.notify("FailedOnLogin", status_code, "")
            return
        if state == 0:
            self.clear()
        self.notify("OnLoggedIn", {1: 2, 2: 1, 3: 3, 4: 1}.get(state, 0))

    def clear(self):
        self.channels = {}
        self.desired = set()
        self.account = ""
        self.group = ""

    def session_state(self, state, flag, name):
        if state == 4 and flag:
            if name in self.channels and name not in self.desired:
                self.terminate(name)
            self.notify("OnJoinedChannel", name)
        elif state == 5:
            rejoin = name in self.channels and self.rejoin_waits(name)
            record = self.channels.pop(name, None)
            self.notify("OnLeftChannel", name)
            if rejoin:
                self.resume_rejoin(name, record.rejoin_uri)
                self.place_waiting()

    def media(self, handle, state, status_code):
        name = self.by_session(handle)
        if name is None:
            return
        record = self.channels[name]
        if state == CONNECTED:
            if name not in self.desired or record.state == LEAVING:
                if self.terminate(name):
                    record.state = LEAVING
                return
            first = self.in_state(CONNECTED_) == 0
            record.state = CONNECTED_
            if first:
                self.place_waiting()
            self.notify("OnJoinedChannel", name)
        elif state == DISCONNECTED:
            rejoin = self.rejoin_waits(name)
            if not rejoin:
                self.desired.discard(name)
            del self.channels[name]
            if record.state == CONNECTING:
                self.notify("FailedJoinChannel", status_code, "")
            self.notify("OnLeftChannel", name)
            if rejoin:
                self.resume_rejoin(name, record.rejoin_uri)
            self.place_waiting()

    def participant(self, event_type, handle, uri, participant_type=0, flag_a=0, flag_b=0):
        name = self.by_session(handle)
        if name is None:
            return
        record = self.channels[name]
        if event_type == voicesdk.EVENT_PARTICIPANT_ADDED and participant_type != 2:
            record.participants[uri] = (False, False)
            self.notify("OnParticipantJoined", uri, name)
        elif event_type == voicesdk.EVENT_PARTICIPANT_REMOVED:
            record.participants.pop(uri, None)
            self.notify("OnParticipantLeft", uri, name)
        elif event_type == voicesdk.EVENT_PARTICIPANT_UPDATED:
            record.participants[uri] = (flag_a != 0, flag_b != 0)
            self.notify("OnParticipantStateChanged", uri, name, flag_a, flag_b)


class ActingListener(object):
    """Records every callback, and now and then joins or leaves a channel
    from inside it."""

    def __init__(self, chooser, observed):
        self.connector = None
        self.chooser = chooser
        self.observed = observed

    def act(self, entry):
        action = None
        if self.connector is not None and self.chooser.random() < 0.3:
            method = self.chooser.choice(["join", "leave"])
            name = self.chooser.choice(NAMES)
            call = self.connector.JoinChannelEx if method == "join" else self.connector.LeaveChannel
            try:
                call(name)
                outcome = None
            except OSError as error:
                outcome = (error.errno, error.filename)
            action = (method, name, outcome)
        self.observed.append((entry, action))

    def __getattr__(self, name):
        if not (name.startswith("On") or name.startswith("Failed")):
            raise AttributeError(name)
        return lambda *args: self.act(("call", name) + args)

    def hook(self, error):
        if HAS_HOOK:
            self.act(("hook", error.errno, error.filename))


class RandomRunTest(ChannelTest):
    STEPS = 4000

    def setUp(self):
        ChannelTest.setUp(self)
        self.observed = []
        self.chooser = random.Random(4242)
        self.acting = ActingListener(random.Random(99), self.observed)
        self.connector = None
        self.connector = _talkwire.Connector(self.acting)
        self.acting.connector = self.connector
        self.model = Model(self, self.observed)
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, account_handle="acct-1")
        self.model.account = "acct-1"
        self.pump()
        self.pending_creates = []
        self.pending_adds = []
        self.pending_removes = []
        self.handles = ["h-unknown"]
        self.next_handle = 0

    def tearDown(self):
        self.acting.connector = None
        ChannelTest.tearDown(self)

    def call(self, method, name):
        real = self.connector.JoinChannelEx if method == "join" else self.connector.LeaveChannel
        try:
            real(name)
            outcome = None
        except OSError as error:
            outcome = (error.errno, error.filename)
        try:
            getattr(self.model, method)(name)
            mine = None
        except ModelError as error:
            mine = error.outcome
        self.assertEqual(outcome, mine)

    def some_handle(self):
        """Mostly a handle of a recent session, sometimes any."""
        if self.chooser.random() < 0.8:
            return self.chooser.choice(self.handles[-4:])
        return self.chooser.choice(self.handles)

    def queue_step(self, deliveries):
        """Queues one random message on the real side and its twin for the
        model in `deliveries`."""
        r = self.chooser
        roll = r.random()
        model = self.model
        if not model.account and r.random() < 0.3:
            voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, account_handle="acct-1")
            deliveries.append(lambda: setattr(model, "account", "acct-1"))
        elif roll < 0.20 and self.pending_creates:
            name = self.pending_creates.pop(r.randrange(len(self.pending_creates)))
            ok = r.random() < 0.85
            voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create",
                                {"channel_name": name}, return_code=0 if ok else 1,
                                status_code=0 if ok else 404, channel_uri=uri_of(name))
            deliveries.append(lambda: model.channel_created(name, uri_of(name), ok, 0 if ok else 404, None))
        elif roll < 0.40 and self.pending_adds:
            name, uri = self.pending_adds.pop(r.randrange(len(self.pending_adds)))
            ok = r.random() < 0.8
            if r.random() < 0.1:
                handle = r.choice(self.handles)  # two sessions sharing a handle
            else:
                self.next_handle += 1
                handle = "h%d" % self.next_handle
                self.handles.append(handle)
            voicesdk.respond_to(voicesdk.RESPONSE_SESSIONGROUP_ADD_SESSION, "sessiongroup_add_session",
                                {"channel_name": name, "channel_uri": uri},
                                return_code=0 if ok else 1, status_code=0 if ok else 7, session_handle=handle)
            deliveries.append(lambda: model.session_added(name, uri, ok, handle, 0 if ok else 7, None))
        elif roll < 0.60:
            handle = self.some_handle()
            state = r.choice([CONNECTED, CONNECTED, DISCONNECTED, 3])
            voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, session_handle=handle, media_state=state,
                           status_code=503)
            deliveries.append(lambda: model.media(handle, state, 503))
        elif roll < 0.80:
            handle = self.some_handle()
            uri = r.choice(PARTICIPANTS)
            event_type = r.choice([voicesdk.EVENT_PARTICIPANT_ADDED, voicesdk.EVENT_PARTICIPANT_REMOVED,
                                       voicesdk.EVENT_PARTICIPANT_UPDATED])
            participant_type = r.choice([0, 1, 2])
            flag_a, flag_b = r.choice([0, 1, 2]), r.choice([0, 1])
            if event_type == voicesdk.EVENT_PARTICIPANT_ADDED:
                voicesdk.event(voicesdk.EVENT_PARTICIPANT_ADDED, session_handle=handle, participant_uri=uri,
                               participant_type=participant_type)
            elif event_type == voicesdk.EVENT_PARTICIPANT_REMOVED:
                voicesdk.event(voicesdk.EVENT_PARTICIPANT_REMOVED, session_handle=handle, participant_uri=uri)
            else:
                voicesdk.event(voicesdk.EVENT_PARTICIPANT_UPDATED, session_handle=handle, participant_uri=uri,
                               flag_a=flag_a, flag_b=flag_b, level=0.5)
            deliveries.append(lambda: model.participant(event_type, handle, uri, participant_type, flag_a, flag_b))
        elif roll < 0.90:
            name = r.choice(NAMES)
            state, flag = r.choice([(4, 1), (4, 0), (5, 0)])
            voicesdk.event(voicesdk.EVENT_SESSION_STATE_CHANGE, session_state=state, session_flag=flag,
                           channel_name=name)
            deliveries.append(lambda: model.session_state(state, flag, name))
        elif roll < 0.95:
            if self.pending_removes:
                cookie, handle = self.pending_removes.pop(r.randrange(len(self.pending_removes)))
                ok = r.random() < 0.5
                voicesdk.respond_to(voicesdk.RESPONSE_SESSIONGROUP_REMOVE_SESSION, "sessiongroup_remove_session", {"cookie": cookie, "session_handle": handle},
                                    return_code=0 if ok else 1, status_code=0 if ok else 11)
                if not ok:
                    deliveries.append(lambda: model.session_removal_refused(handle, 11))
        elif roll < 0.97:
            state = r.choice([0, 100, 3, 1, 2, 4])
            code = r.choice([20200, 9])
            voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=state, status_code=code)
            deliveries.append(lambda: model.login_state(state, code))

    def direct_step(self):
        r = self.chooser
        roll = r.random()
        if roll < 0.35:
            self.call("join", r.choice(NAMES))
        elif roll < 0.45:
            self.call("leave", r.choice(NAMES))
        elif roll < 0.49:
            code = r.choice([5, 6])
            voicesdk.refuse(code)  # replaces a refusal still pending
            self.model.refusals = [code]

    def collect_new_requests(self):
        """Compares the requests made since the last step with the model's,
        and remembers the answerable ones."""
        real = voicesdk.requests()
        voicesdk.clear_requests()
        expected, self.model.issued = self.model.issued, []
        self.assertEqual(len(real), len(expected), [r["kind"] for r in real])
        for made, wanted in zip(real, expected):
            self.assertEqual((made["kind"], made["cookie"], made["accepted"]),
                             (wanted["kind"], wanted["cookie"], wanted["accepted"]))
            values = fields(made)
            for key, value in wanted["fields"].items():
                self.assertEqual(values[key], value, "%s.%s" % (made["kind"], key))
            if not made["accepted"]:
                continue
            if made["kind"] == "account_channel_create":
                self.pending_creates.append(values["channel_name"])
            elif made["kind"] == "sessiongroup_add_session":
                self.pending_adds.append((values["channel_name"], values["channel_uri"]))
            elif made["kind"] == "sessiongroup_remove_session":
                self.pending_removes.append((made["cookie"], values["session_handle"]))

    def check_registry(self):
        self.assertEqual(self.observed, [])
        self.assertEqual(self.connector.ChannelJoinInProgressCount(), self.model.count())
        for name in NAMES:
            self.assertEqual(self.connector.GetParticipants(name), self.model.participants(name), name)
        self.assertEqual(voicesdk.live()["requests"], 0)

    def test_random_run_matches_the_model(self):
        with HookActions(self.acting.hook):
            for _ in range(self.STEPS):
                deliveries = []
                self.direct_step()
                for _ in range(self.chooser.randint(0, 3)):
                    self.queue_step(deliveries)
                self.pump()
                for deliver in deliveries:
                    deliver()
                self.collect_new_requests()
                self.check_registry()
        # The run went through the interesting places.
        self.assertGreater(self.next_handle, 100)
        self.assertGreater(self.model.rejoins, 10)
        self.assertGreater(self.model.refused_rejoins, 0)


if __name__ == "__main__":
    unittest.main()
