"""The cases of test_aio, which runs them on Python 3.7+ (their syntax is
3.x's)."""
import asyncio
import sys
import time
import unittest

import talkwire
import voicesdk
from talkwire import aio

from service_support import IMMEDIATE, ServiceTest, peer
from support import OTHER_EVENT, OTHER_EVENTS, ConnectorTest, RecordingListener

LIMIT = 10.0  # seconds any one step may take on a loaded machine


async def pumps_during(seconds):
    """How often talkwire.pump is called while this sleeps `seconds`."""
    calls = [0]
    real_pump = talkwire.pump

    def counting_pump(*args):
        calls[0] += 1
        return real_pump(*args)

    talkwire.pump = counting_pump
    try:
        await asyncio.sleep(seconds)
    finally:
        talkwire.pump = real_pump
    return calls[0]


def tearDownModule():
    # asyncio makes its policy on first use; leave none behind for the
    # rest of the run (the leak hunt counts it as a changed environment).
    asyncio.set_event_loop_policy(None)


class AioTest(ServiceTest):
    SETTINGS = dict(IMMEDIATE, peers=["ava"], peers_leave=False, talk_rounds=1)

    def setUp(self):
        ServiceTest.setUp(self)
        self.connector = None  # the AsyncConnector makes the one connector
        self.loop = asyncio.new_event_loop()

    def tearDown(self):
        self.loop.close()
        ServiceTest.tearDown(self)

    def run_async(self, coroutine_function):
        async def bounded():
            return await asyncio.wait_for(coroutine_function(), 4 * LIMIT)

        return self.loop.run_until_complete(bounded())

    def test_a_session_resolves_step_by_step_and_the_listener_hears_everything(self):
        listener = RecordingListener()

        async def session():
            async with aio.AsyncConnector(listener) as voice:
                await asyncio.wait_for(voice.initialize("orb"), LIMIT)
                await asyncio.wait_for(voice.login("alice", "secret"), LIMIT)
                await asyncio.wait_for(asyncio.gather(voice.join("lobby"), voice.join("squad")), LIMIT)
                self.assertEqual(voice.channels, {"lobby", "squad"})
                self.assertEqual(voice.ChannelJoinInProgressCount(), 2)  # any Connector method
                await asyncio.wait_for(voice.leave("squad"), LIMIT)
                await asyncio.wait_for(voice.leave("lobby"), LIMIT)
                await asyncio.wait_for(voice.logout(), LIMIT)
                await asyncio.wait_for(voice.shutdown(), LIMIT)
                self.assertEqual(voice.waiting, 0)

        self.run_async(session)
        names = listener.names()
        self.assertEqual(listener.of("OnInitialized"), [(0,)])
        self.assertEqual(listener.of("OnLoggedIn"), [(1,), (2,), (3,), (0,)])
        self.assertEqual(sorted(listener.of("OnJoinedChannel")), [("lobby",), ("squad",)])
        self.assertEqual(listener.of("OnLeftChannel"), [("squad",), ("lobby",)])
        # Nobody awaited the peers: they reached the listener all the same.
        self.assertIn((peer("ava"), "lobby"), listener.of("OnParticipantJoined"))
        self.assertIn("OnParticipantStateChanged", names)
        self.assertEqual(names[-1], "OnShutDown")

    def test_failures_carry_the_services_status(self):
        voicesdk.service(accounts={"alice": "secret"})

        async def session():
            async with aio.AsyncConnector(RecordingListener()) as voice:
                await voice.initialize()
                with self.assertRaises(aio.VoiceError) as wrong:
                    await asyncio.wait_for(voice.login("alice", "guess"), LIMIT)
                with self.assertRaises(aio.VoiceError) as unknown:
                    await asyncio.wait_for(voice.login("mallory", "x"), LIMIT)
                await voice.login("alice", "secret")
                voicesdk.answer("account_channel_create", return_code=1, status_code=5004, status_text="No room")
                with self.assertRaises(aio.VoiceError) as refused:
                    await asyncio.wait_for(voice.join("full"), LIMIT)
                voice.LeaveChannel("full")
                await voice.logout()
                await voice.shutdown()
                return wrong.exception, unknown.exception, refused.exception

        wrong, unknown, refused = self.run_async(session)
        self.assertEqual((wrong.status_code, wrong.status_text, wrong.callback),
                         (20201, "Wrong password", "FailedOnLogin"))
        self.assertEqual((unknown.status_code, unknown.callback),
                         (talkwire.STATUS_ACCOUNT_NOT_FOUND, "OnAccountNotFound"))
        self.assertEqual((refused.status_code, refused.status_text, refused.callback),
                         (5004, "No room", "FailedChannelCreate"))
        self.assertIn("5004", str(refused))

    def test_a_cancelled_wait_leaves_no_waiter_and_the_outcome_still_arrives(self):
        listener = RecordingListener()
        # The add-session request goes unanswered until the test answers it.
        voicesdk.answer("sessiongroup_add_session", once=True, session_handle="held")

        async def session():
            async with aio.AsyncConnector(listener) as voice:
                await voice.initialize()
                await voice.login("alice", "secret")
                with self.assertRaises(asyncio.TimeoutError):
                    await asyncio.wait_for(voice.join("lobby"), 0.05)
                self.assertEqual(voice.waiting, 0)
                # The join went on: the session connects, and the listener hears it.
                voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, session_handle="held", media_state=2)
                while not listener.of("OnJoinedChannel"):
                    await asyncio.sleep(0.001)
                self.assertEqual(voice.channels, {"lobby"})
                # A helper cancelled with its task is let go as well.
                task = asyncio.ensure_future(voice.leave("lobby"))
                await asyncio.sleep(0)
                self.assertEqual(voice.waiting, 1)
                task.cancel()
                with self.assertRaises(asyncio.CancelledError):
                    await task
                self.assertEqual(voice.waiting, 0)
                voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, session_handle="held", media_state=1)
                while voice.channels:
                    await asyncio.sleep(0.001)
                await voice.logout()
                await voice.shutdown()

        self.run_async(session)
        self.assertEqual(listener.of("OnLeftChannel"), [("lobby",)])

    def test_two_connectors_share_the_loops_pump(self):
        first, second = RecordingListener(), RecordingListener()

        async def session():
            one = talkwire.Connector(first)
            two = talkwire.Connector(second)
            attached_one = aio.attach(one)
            attached_two = aio.attach(two)
            # The process's messages go to the connector registered first.
            voicesdk.event(OTHER_EVENT)
            while not first.calls:
                await asyncio.sleep(0.001)
            attached_one.detach()
            attached_one.detach()  # once is enough
            one = None
            # Still pumped for the other: now its turn.
            voicesdk.event(OTHER_EVENTS[1])
            while not second.calls:
                await asyncio.sleep(0.001)
            with attached_two:
                pass
            self.assertFalse(attached_two.attached)
            fd = talkwire.wakeup_fd() if hasattr(talkwire, "wakeup_fd") else None
            if fd is not None:
                self.assertFalse(asyncio.get_running_loop().remove_reader(fd))
            two = None  # noqa: F841

        self.run_async(session)
        self.assertEqual(first.calls, [("OnConnectorEvent", OTHER_EVENT, 0, 0)])
        self.assertEqual(second.calls, [("OnConnectorEvent", OTHER_EVENTS[1], 0, 0)])

    def test_a_callback_that_raises_keyboard_interrupt_stops_the_loop(self):
        class Stopping(object):
            def OnConnectorEvent(self, *args):
                raise KeyboardInterrupt

        async def session():
            connector = talkwire.Connector(Stopping())
            with aio.attach(connector):
                voicesdk.event(OTHER_EVENT)
                voicesdk.event(OTHER_EVENTS[1])
                # Both in the connector's mailbox before the loop runs: one
                # the SDK still held would outlive the connector's handler.
                self.assertTrue(voicesdk.flush(LIMIT))
                await asyncio.sleep(LIMIT)
                self.fail("the loop went on")

        started = time.time()
        with self.assertRaises(KeyboardInterrupt):
            self.run_async(session)
        self.assertLess(time.time() - started, LIMIT)
        # As after Ctrl-C: the program's tasks are cancelled and end (the
        # attachment with them); the second event goes with the connector.
        tasks = asyncio.all_tasks(self.loop)
        for task in tasks:
            task.cancel()
        self.loop.run_until_complete(asyncio.gather(*tasks, return_exceptions=True))

    @unittest.skipIf(sys.platform == "win32", "no wake-up descriptor on Windows")
    def test_a_quit_left_for_run_keeps_events_coming_without_spinning(self):
        listener = RecordingListener()
        handle = talkwire.QuitHandle()

        async def session():
            connector = talkwire.Connector(listener)
            with aio.attach(connector):
                handle.quit()
                voicesdk.event(OTHER_EVENT)
                while not listener.calls:
                    await asyncio.sleep(0.001)
                pumps = await pumps_during(0.2)
                voicesdk.event(OTHER_EVENTS[1])
                while len(listener.calls) < 2:
                    await asyncio.sleep(0.001)
                connector.Run()  # takes the quit
            self.assertLess(pumps, 200)

        self.run_async(session)
        self.assertEqual(listener.names(), ["OnConnectorEvent"] * 2)


class AioJoinFailureTest(ConnectorTest):
    """Join failures the service reports without a channel name, answered
    one by one in the scripted stand-in."""

    def setUp(self):
        ConnectorTest.setUp(self)
        self.connector = None
        self.loop = asyncio.new_event_loop()

    def tearDown(self):
        self.loop.close()
        ConnectorTest.tearDown(self)

    async def until(self, condition):
        deadline = time.time() + LIMIT
        while not condition():
            self.assertLess(time.time(), deadline, "timed out waiting")
            await asyncio.sleep(0.001)

    async def logged_in(self, voice):
        initialized = asyncio.ensure_future(voice.initialize())
        voicesdk.respond_to(voicesdk.RESPONSE_CONNECTOR_CREATE, "connector_create", {}, connector_handle="conn-1")
        await asyncio.wait_for(initialized, LIMIT)
        logged_in = asyncio.ensure_future(voice.login("alice", "secret"))
        await asyncio.sleep(0)
        voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_LOGIN, "account_login", {}, account_handle="acct-1")
        voicesdk.event(voicesdk.EVENT_ACCOUNT_LOGIN_STATE_CHANGE, login_state=1)
        await asyncio.wait_for(logged_in, LIMIT)

    def test_a_session_lost_while_connecting_fails_its_own_join_not_the_oldest(self):
        voicesdk.answer("sessiongroup_create", session_group_handle="group-1")

        async def session():
            voice = aio.AsyncConnector(RecordingListener())
            await self.logged_in(voice)
            first = asyncio.ensure_future(voice.join("a"))
            second = asyncio.ensure_future(voice.join("b"))
            await asyncio.sleep(0)
            # b's channel is made first and its session placed; a's waits.
            voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create", {"channel_name": "b"}, channel_uri="sip:b@x")
            await self.until(lambda: any(r["kind"] == "sessiongroup_add_session" for r in voicesdk.requests()))
            voicesdk.respond_to(voicesdk.RESPONSE_SESSIONGROUP_ADD_SESSION, "sessiongroup_add_session", {"channel_name": "b", "channel_uri": "sip:b@x"},
                                session_handle="s-b")
            voicesdk.event(voicesdk.EVENT_MEDIA_STREAM_UPDATED, session_handle="s-b", media_state=1, status_code=7001, status_text="Lost")
            with self.assertRaises(aio.VoiceError) as lost:
                await asyncio.wait_for(second, LIMIT)
            self.assertFalse(first.done())
            # a's channel cannot be made: FailedChannelCreate names no channel.
            voicesdk.respond_to(voicesdk.RESPONSE_ACCOUNT_CHANNEL_CREATE, "account_channel_create", {"channel_name": "a"}, return_code=1,
                                status_code=5004, status_text="No room")
            with self.assertRaises(aio.VoiceError) as refused:
                await asyncio.wait_for(first, LIMIT)
            self.assertEqual(voice.waiting, 0)
            voice.close()
            return lost.exception, refused.exception

        lost, refused = self.loop.run_until_complete(session())
        self.assertEqual((lost.status_code, lost.status_text, lost.callback), (7001, "Lost", "FailedJoinChannel"))
        self.assertEqual((refused.status_code, refused.callback), (5004, "FailedChannelCreate"))

    def test_leaving_a_channel_still_being_joined_ends_that_join(self):
        async def session():
            voice = aio.AsyncConnector(None)
            await self.logged_in(voice)
            joining = asyncio.ensure_future(voice.join("a"))
            await asyncio.sleep(0)
            await asyncio.wait_for(voice.leave("a"), LIMIT)  # nothing joined: at once
            with self.assertRaises(aio.VoiceError):
                await asyncio.wait_for(joining, LIMIT)
            self.assertEqual(voice.waiting, 0)
            self.assertEqual(voice.ChannelJoinInProgressCount(), 0)
            voice.close()

        self.loop.run_until_complete(session())



class AioTimedPumpTest(ConnectorTest):
    """A loop that cannot watch descriptors (as Windows' default loop) is
    pumped on a timer, which ends with the last attachment, even when a
    callback detaches it."""

    def test_timer_pumps_until_a_callback_detaches(self):
        class NoReaders(asyncio.SelectorEventLoop):
            def add_reader(self, *args):
                raise NotImplementedError

        loop = NoReaders()
        heard = []
        attachments = []
        pumps = []

        class Detaching(object):
            def OnConnectorEvent(self, event_type, *unused):
                heard.append(event_type)
                attachments[0].detach()

        async def session():
            self.connector = None
            self.connector = talkwire.Connector(Detaching())
            attachments.append(aio.attach(self.connector))
            voicesdk.event(OTHER_EVENT)
            deadline = time.time() + LIMIT
            while not heard:
                self.assertLess(time.time(), deadline, "the timer did not pump")
                await asyncio.sleep(0.001)
            pumps.append(await pumps_during(0.1))

        try:
            loop.run_until_complete(session())
        finally:
            loop.close()
        self.assertEqual(heard, [3])
        self.assertEqual(pumps, [0])
