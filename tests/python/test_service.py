"""The simulated voice service: accounts, devices, levels, the microphone
test, the troubleshooter, its settings, its latency and its reset."""
import os
import time
import unittest

import voicesdk

from service_support import IMMEDIATE, ServiceTest
from support import ConnectorTest


class AccountTest(ServiceTest):
    def test_login_logout_and_shutdown(self):
        self.log_in()
        self.connector.Logout()
        self.pump_all()
        self.connector.InitiateShutdown()
        self.pump_all()
        self.assertEqual(self.listener.calls, [
            ("OnInitialized", 0),
            ("OnLoggedIn", 1), ("OnLoggedIn", 2),  # logging in, logged in
            ("OnLoggedIn", 3), ("OnLoggedIn", 0),  # logging out, logged out
            ("OnShutDown",),
        ])
        self.assertEqual(self.kinds(), ["connector_create", "account_login", "account_logout",
                                        "connector_initiate_shutdown"])
        state = voicesdk.service_state()
        self.assertEqual((state["connectors"], state["logged_in"]), (0, []))

    def test_known_accounts_and_passwords(self):
        voicesdk.service(accounts={"alice": "secret", "bob": None})
        self.initialize()
        for name, password in [("mallory", "x"), ("alice", "wrong"), ("", "x"), ("bob", "anything")]:
            self.connector.Login(name, password)
            self.pump_all()
        self.assertEqual(self.listener.calls[1:], [
            ("OnAccountNotFound",),
            ("FailedOnLogin", 20201, "Wrong password"),
            ("OnAccountNotFound",),
            ("OnLoggedIn", 1), ("OnLoggedIn", 2),
        ])
        self.assertEqual(voicesdk.service_state()["logged_in"], ["bob"])

    def test_open_service_lets_any_account_in(self):
        self.log_in("anyone", "")
        self.assertEqual(self.listener.of("OnLoggedIn"), [(1,), (2,)])

    def test_created_account_is_remembered_with_its_password(self):
        voicesdk.service(accounts=[])
        self.initialize()
        self.connector.Login("newbie", "pw")
        self.pump_all()
        self.connector.CreateAccount("newbie", "pw", "token", "Newbie")
        self.connector.CreateAccount("newbie", "other", "token", "Again")
        self.connector.CreateAccount("", "pw", "token", "Nobody")
        self.pump_all()
        self.connector.Login("newbie", "wrong")
        self.pump_all()
        self.connector.Login("newbie", "pw")
        self.pump_all()
        self.assertEqual(self.listener.calls[1:], [
            ("OnAccountNotFound",),
            ("OnAccountCreated",),
            ("OnCreateAccountFailed", 20202, "Account name taken"),
            ("OnCreateAccountFailed", 20203, "Account name missing"),
            ("FailedOnLogin", 20201, "Wrong password"),
            ("OnLoggedIn", 1), ("OnLoggedIn", 2),
        ])
        self.assertEqual(voicesdk.service_state()["created_accounts"], ["newbie"])

    def test_configured_account_names_cannot_be_created_again(self):
        voicesdk.service(accounts=["taken"])
        self.connector.CreateAccount("taken", "pw", "", "")
        self.pump_all()
        self.assertEqual(self.listener.of("OnCreateAccountFailed"), [(20202, "Account name taken")])


class DeviceAndLevelTest(ServiceTest):
    def test_device_lists_and_selection(self):
        c = self.connector
        self.assertEqual(c.GetAudioInputDevices(),
                         [(0, "Built-in Microphone"), (1, "USB Headset Microphone"), (2, "Line In")])
        self.assertEqual(c.GetAudioOutputDevices(),
                         [(0, "Built-in Speakers"), (1, "USB Headset"), (2, "HDMI Output")])
        self.assertEqual((c.GetPreferredAudioInputDevice(), c.GetPreferredAudioOutputDevice()), (0, 0))
        c.SetPreferredAudioInputDevice(2)
        c.SetPreferredAudioOutputDevice(1)
        c.SetPreferredAudioInputDevice(3)  # out of range: nothing selected
        self.assertEqual((c.GetPreferredAudioInputDevice(), c.GetPreferredAudioOutputDevice()), (2, 1))
        state = voicesdk.service_state()
        self.assertEqual((state["capture_device"], state["render_device"]), ("Line In", "USB Headset"))
        self.pump_all()

    def test_changed_device_list(self):
        voicesdk.service(capture_devices=["Mic A", "Mic B"], render_devices=[])
        self.assertEqual(self.connector.GetAudioInputDevices(), [(0, "Mic A"), (1, "Mic B")])
        self.assertEqual(self.connector.GetPreferredAudioInputDevice(), 0)
        self.assertEqual(self.connector.GetAudioOutputDevices(), [])
        self.assertIsNone(self.connector.GetPreferredAudioOutputDevice())
        self.assertIsNone(voicesdk.service_state()["render_device"])
        self.pump_all()

    def test_levels_are_remembered(self):
        c = self.connector
        self.assertEqual((c.GetMicrophoneVolume(), c.GetSpeakerVolume()), (16000, 16000))
        c.SetMicrophoneVolume(24000)
        c.SetSpeakerVolume(32000)
        self.assertEqual((c.GetMicrophoneVolume(), c.GetSpeakerVolume()), (24000, 32000))
        state = voicesdk.service_state()
        self.assertEqual((state["mic_level"], state["speaker_level"]), (75, 100))
        self.pump_all()

    def test_microphone_test_reports_its_levels(self):
        voicesdk.service(mic_levels=[0.05, 0.5, 0.99])
        self.connector.StartAudioTest()
        self.assertTrue(voicesdk.service_state()["mic_test"])
        self.pump_all()
        self.connector.StopAudioTest()
        self.pump_all()
        self.assertEqual(self.listener.of("OnMicrophoneIntensityEvent"), [(5, 0, 100), (50, 0, 100), (99, 0, 100)])
        self.assertEqual(self.connector.GetAudioTestPassed(), 1)
        self.assertFalse(voicesdk.service_state()["mic_test"])

    def test_quiet_microphone_does_not_pass(self):
        voicesdk.service(mic_levels=[0.0, 0.09])
        self.connector.StartAudioTest()
        self.connector.StopAudioTest()
        self.pump_all()
        self.assertEqual(len(self.listener.of("OnMicrophoneIntensityEvent")), 2)
        self.assertEqual(self.connector.GetAudioTestPassed(), 0)

    def test_running_microphone_test_ticks_until_stopped(self):
        voicesdk.service(mic_interval=0.01, mic_levels=[0.3, 0.6])
        self.connector.StartAudioTest()
        self.pump_until(lambda: len(self.listener.of("OnMicrophoneIntensityEvent")) >= 4)
        self.connector.StopAudioTest()
        self.pump_all()
        seen = len(self.listener.of("OnMicrophoneIntensityEvent"))
        time.sleep(0.05)
        self.pump_all()
        levels = self.listener.of("OnMicrophoneIntensityEvent")
        self.assertEqual(len(levels), seen, "levels kept coming after the test stopped")
        self.assertEqual(levels[:4], [(30, 0, 100), (60, 0, 100), (30, 0, 100), (60, 0, 100)])

    def test_push_to_talk_binding_is_accepted(self):
        self.connector.EnableGlobalPushToTalkMode([("walkie", 17), ("talk", 84)])
        self.pump_all()
        state = voicesdk.service_state()
        self.assertEqual((state["key_binding"], state["key_codes"]), ("talk", [17, 84]))
        self.assertEqual(self.listener.calls, [])


class TroubleshooterTest(ServiceTest):
    def test_every_test_passes_by_default(self):
        self.connector.RunTroubleShooter()
        self.pump_all()
        self.assertEqual(self.listener.calls, [("OnConnectivityTroubleShooterErrorFound", -1, "", "", "")])

    def test_chosen_failure(self):
        voicesdk.service(failing_test=(3, 7, "no answer from stun"))
        self.connector.RunTroubleShooter()
        voicesdk.service(failing_test=15)
        self.connector.RunTroubleShooter()
        self.pump_all()
        self.assertEqual(self.listener.of("OnConnectivityTroubleShooterErrorFound"), [
            (0, "Test STUN", "7 ", "no answer from stun"),
            (0, "Test Echo Media", "2 ", ""),
        ])


class LatencyTest(ServiceTest):
    # Long enough that a loaded machine cannot stall the test past it before
    # the first check.
    LATENCY = 0.5
    SETTINGS = dict(IMMEDIATE, latency=LATENCY)

    def test_answers_and_events_wait_for_the_latency(self):
        self.initialize()
        self.listener.clear()
        start = time.time()
        self.connector.Login("alice", "secret")
        self.assertTrue(voicesdk.flush(1.0))
        voicesdk.post_quit()
        self.connector.Run()
        self.assertEqual(self.listener.calls, [], "answered before the latency")
        self.assertGreater(voicesdk.service_state()["pending"], 0)
        self.pump_until(lambda: len(self.listener.calls) == 2)
        self.assertEqual(self.listener.calls, [("OnLoggedIn", 1), ("OnLoggedIn", 2)])
        # The login answer comes after the latency, the logged-in state one
        # latency later still.
        self.assertGreaterEqual(self.listener.times[0] - start, self.LATENCY)
        self.assertGreaterEqual(self.listener.times[1] - start, 2 * self.LATENCY)
        self.assertLess(self.listener.times[1] - start, 2 * self.LATENCY + 2.0)

    def test_no_latency_answers_before_the_call_returns(self):
        self.initialize()
        voicesdk.service(latency=0)
        self.connector.Login("alice", "secret")
        self.assertEqual(voicesdk.service_state()["pending"], 0)
        self.assertTrue(voicesdk.flush(1.0))
        voicesdk.post_quit()
        self.connector.Run()
        self.assertEqual(self.listener.of("OnLoggedIn"), [(1,), (2,)])

    def test_synchronous_requests_wait_too(self):
        start = time.time()
        self.assertEqual(self.connector.GetMicrophoneVolume(), 16000)
        self.assertGreaterEqual(time.time() - start, self.LATENCY)
        self.pump_all()

    def test_reset_discards_what_is_scheduled(self):
        self.initialize()
        self.connector.Login("alice", "secret")
        voicesdk.reset()
        time.sleep(self.LATENCY * 1.5)  # past the moment the answer was due
        self.assertTrue(voicesdk.flush(1.0))
        voicesdk.post_quit()
        self.connector.Run()
        self.assertEqual(self.listener.of("OnLoggedIn"), [])
        self.assertEqual(voicesdk.live(), {"requests": 0, "responses": 0, "events": 0})
        voicesdk.mode("service")  # for tearDown's look at the service


class SettingsTest(ConnectorTest):
    def test_service_must_be_running(self):
        self.assertRaises(RuntimeError, voicesdk.service)
        self.assertRaises(RuntimeError, voicesdk.service_state)
        voicesdk.mode("service")
        voicesdk.mode("scripted")
        self.assertRaises(RuntimeError, voicesdk.service, latency=0)
        # Out of service mode settle() only waits for the queue.
        self.assertTrue(voicesdk.settle(1.0))

    def test_settings_round_trip_and_reset(self):
        voicesdk.mode("service")
        defaults = voicesdk.service()
        self.assertEqual(defaults["accounts"], None)
        self.assertEqual(defaults["failing_test"], None)
        self.assertTrue(0 < defaults["latency"] < 0.1)
        changed = voicesdk.service(latency=0.5, peers=["x"], accounts={"a": "p", "b": None},
                                   failing_test=(2, 9), peers_leave=False, talk_rounds=0)
        self.assertEqual(changed, dict(defaults, latency=0.5, peers=["x"], accounts={"a": "p", "b": None},
                                       failing_test=(2, 9, None), peers_leave=False, talk_rounds=0))
        self.assertEqual(voicesdk.service(), changed)
        voicesdk.mode("service")  # a fresh service
        self.assertEqual(voicesdk.service(), defaults)
        voicesdk.service(latency=1)
        voicesdk.reset()
        voicesdk.mode("service")
        self.assertEqual(voicesdk.service(), defaults)

    def test_bad_settings_change_nothing(self):
        voicesdk.mode("service")
        before = voicesdk.service()
        bad = [
            (TypeError, dict(nonsense=1)),
            (ValueError, dict(latency=-1)),
            (ValueError, dict(latency=float("nan"))),
            (ValueError, dict(latency=1e9)),
            (TypeError, dict(peers="ava")),
            (TypeError, dict(peers=[1])),
            (ValueError, dict(mic_levels=[1.5])),
            (ValueError, dict(talk_rounds=-1)),
            (ValueError, dict(failing_test=17)),
            (ValueError, dict(failing_test=(3, 1))),
            (TypeError, dict(failing_test=(3,))),
            (TypeError, dict(accounts={"a": 1})),
        ]
        for error, settings in bad:
            # A good setting beside the bad one is not applied either.
            settings = dict(settings, talk_rounds=settings.get("talk_rounds", 9))
            self.assertRaises(error, lambda: voicesdk.service(**settings))
        self.assertRaises(TypeError, voicesdk.service, 0.1)
        self.assertEqual(voicesdk.service(), before)



# Fewer where every call is many times slower (valgrind, the debug
# interpreter's repeated runs).
LONG_RUN_REQUESTS = int(os.environ.get("TALKWIRE_SERVICE_REQUESTS", "100000"))


def resident_bytes():
    """The process's resident set size where the system tells it, else None."""
    try:
        with open("/proc/self/statm") as statm:
            return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
    except (IOError, OSError, ValueError, AttributeError):
        return None


class LongSessionTest(ServiceTest):
    SETTINGS = dict(IMMEDIATE, peers=[])

    def test_memory_stays_flat_over_many_requests(self):
        self.log_in()
        self.connector.JoinChannelEx("lobby")
        self.pump_all()
        first = voicesdk.request_total()
        limit = voicesdk.request_limit()

        def run(count):
            for number in range(count):
                self.connector.MuteChannelOutput("lobby", number & 1)
                if number % 1000 == 999:
                    self.pump_all()
            self.pump_all()

        # Past the record's limit first, so that what it keeps is in place.
        warm_up = max(2 * limit, LONG_RUN_REQUESTS // 10)
        run(warm_up)
        before = resident_bytes()
        run(LONG_RUN_REQUESTS - warm_up)
        after = resident_bytes()

        total = voicesdk.request_total()
        self.assertEqual(total - first, LONG_RUN_REQUESTS)
        kept = voicesdk.requests()
        self.assertEqual([r["index"] for r in kept], list(range(total - limit, total)))
        self.assertEqual(set(r["kind"] for r in kept), set(["session_mute_local_speaker"]))
        # Every request held its record until now (about 300 bytes each):
        # 27 MB more over 90000.  Under a memory tool or a sanitizer the
        # resident set says nothing about the process's own use.
        if before is not None and LONG_RUN_REQUESTS >= 50000 and not os.environ.get("LD_PRELOAD"):
            self.assertLess(after - before, 6 * 1000 * 1000)
        self.connector.LeaveChannel("lobby")
        self.pump_all()

if __name__ == "__main__":
    unittest.main()
