"""Capture and render device selection: every call asks the SDK afresh and
reads the answer before returning."""
import unittest

import voicesdk

from support import ConnectorTest, fields

INPUT = ("aux_get_capture_devices", "aux_set_capture_device", "GetPreferredAudioInputDevice",
         "SetPreferredAudioInputDevice", "GetAudioInputDevices",
         "Couldn't get preferred audio input device", "Couldn't set preferred audio input device")
OUTPUT = ("aux_get_render_devices", "aux_set_render_device", "GetPreferredAudioOutputDevice",
          "SetPreferredAudioOutputDevice", "GetAudioOutputDevices",
          "Couldn't get preferred audio output device", "Couldn't set preferred audio output device")


class DeviceSideTest(object):
    """The same cases for both sides; SIDE names the kinds and methods."""

    SIDE = None

    def setUp(self):
        super(DeviceSideTest, self).setUp()
        (self.get_kind, self.set_kind, self.get_name, self.set_name, self.list_name,
         self.get_message, self.set_message) = self.SIDE

    # Looked up per call: a bound method kept on the test would keep the
    # connector alive past tearDown.
    def get_preferred(self):
        return getattr(self.connector, self.get_name)()

    def set_preferred(self, *args):
        return getattr(self.connector, self.set_name)(*args)

    def list_devices(self):
        return getattr(self.connector, self.list_name)()

    def test_second_of_three_in_use(self):
        voicesdk.answer(self.get_kind, devices=["Mic A", "Mic B", "Mic C"], current_device="Mic B")
        self.assertEqual(self.get_preferred(), 1)
        self.assertEqual(self.list_devices(), [(0, "Mic A"), (1, "Mic B"), (2, "Mic C")])
        recorded = self.requests(self.get_kind)
        self.assertEqual([(r["cookie"], r["sync"], r["fields"]) for r in recorded],
                         [("1", True, []), ("2", True, [])])
        self.pump()

    def test_duplicate_names_give_the_lower_index(self):
        voicesdk.answer(self.get_kind, devices=["other", "same", "same"], current_device="same")
        self.assertEqual(self.get_preferred(), 1)
        self.pump()

    def test_nothing_in_use_or_unknown_or_empty(self):
        voicesdk.answer(self.get_kind, devices=["x", "y"], once=True)
        voicesdk.answer(self.get_kind, devices=["x", "y"], current_device="Y", once=True)
        voicesdk.answer(self.get_kind, devices=[], current_device="x", once=True)
        voicesdk.answer(self.get_kind, devices=[])
        self.assertIsNone(self.get_preferred())
        self.assertIsNone(self.get_preferred())  # names compare case-sensitively
        self.assertIsNone(self.get_preferred())
        self.assertEqual(self.list_devices(), [])
        self.pump()

    def test_select_by_index(self):
        voicesdk.answer(self.get_kind, devices=["first", "second"], current_device="first")
        voicesdk.answer(self.set_kind)
        self.assertIsNone(self.set_preferred(1))
        chosen = self.last_request(self.set_kind)
        self.assertEqual((chosen["cookie"], chosen["sync"]), ("2", True))
        self.assertEqual(chosen["fields"], [("device_name", "second")])
        self.pump()

    def test_index_outside_the_list_selects_nothing(self):
        voicesdk.answer(self.get_kind, devices=["a", "b", "c"])
        for index in (3, -1, 2 ** 31 - 1):
            self.assertIsNone(self.set_preferred(index))
        self.assertEqual(self.requests(self.set_kind), [])
        self.assertEqual(len(self.requests(self.get_kind)), 3)
        self.pump()

    def test_failed_selection_raises_the_set_error(self):
        voicesdk.answer(self.get_kind, devices=["a"])
        voicesdk.answer(self.set_kind, return_code=1, status_code=4242)
        self.assertWindowsError(4242, self.set_message, self.set_preferred, 0)
        self.pump()

    def test_failed_query_raises_and_goes_no_further(self):
        voicesdk.answer(self.get_kind, return_code=1, status_code=3003, devices=["a"], current_device="a")
        voicesdk.answer(self.set_kind)
        self.assertWindowsError(3003, self.get_message, self.get_preferred)
        self.assertWindowsError(3003, self.get_message, self.set_preferred, 0)
        self.assertWindowsError(3003, self.get_message, self.list_devices)
        self.assertEqual(self.requests(self.set_kind), [])
        self.pump()

    def test_refused_query_raises_the_sdk_value(self):
        voicesdk.refuse(17)
        self.assertWindowsError(17, self.get_message, self.list_devices)
        voicesdk.refuse(18)
        self.assertWindowsError(18, self.get_message, self.set_preferred, 0)
        self.assertEqual(self.requests(self.set_kind), [])

    def test_argument_errors_name_the_input_setter_and_issue_nothing(self):
        for call in [(), (0, 1)]:
            with self.assertRaises(TypeError) as caught:
                self.set_preferred(*call)
            self.assertIn("SetPreferredAudioInputDevice", str(caught.exception))
        with self.assertRaises(TypeError):
            self.set_preferred("1")
        self.assertEqual(voicesdk.requests(), [])

    def test_device_names_round_trip(self):
        name = b"Mic \xff".decode("utf-8", "surrogateescape") if str is not bytes else "Mic \xff"
        voicesdk.answer(self.get_kind, devices=["plain", name], current_device=name)
        voicesdk.answer(self.set_kind)
        self.assertEqual(self.list_devices()[1], (1, name))
        self.assertEqual(self.get_preferred(), 1)
        self.set_preferred(1)
        self.assertEqual(fields(self.last_request(self.set_kind))["device_name"], name)
        self.pump()


class InputDeviceTest(DeviceSideTest, ConnectorTest):
    SIDE = INPUT


class OutputDeviceTest(DeviceSideTest, ConnectorTest):
    SIDE = OUTPUT


class InputLinesTest(ConnectorTest):
    def test_fixed_answers_ask_nothing(self):
        voicesdk.answer("aux_get_capture_devices", devices=["a", "b"], current_device="b")
        lines = self.connector.GetAudioInputDeviceLines()
        self.assertEqual(lines, [])
        self.assertIsNot(lines, self.connector.GetAudioInputDeviceLines())
        self.assertEqual(self.connector.GetPreferredAudioInputDeviceLineNumber(), 0)
        self.assertIsNone(self.connector.SetPreferredAudioInputDeviceLineNumber(3))
        self.assertEqual(voicesdk.requests(), [])


if __name__ == "__main__":
    unittest.main()
