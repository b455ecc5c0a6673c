"""The Python-facing package: the talkwire package's Listener and constants
and the _talkwire type stub, checked against the built module and the
callback catalogue of the sources."""
import os
import re
import unittest

import _talkwire
import talkwire
import voicesdk

from service_support import IMMEDIATE, ServiceTest
from support import E_FAIL, E_INVALIDARG, E_NOTIMPL, Unraisables

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("TALKWIRE_SOURCE_DIR") or os.path.join(HERE, "..", "..")


def source(*path):
    with open(os.path.join(SOURCE, *path)) as handle:
        return handle.read()


def catalogue():
    """The listener callbacks the dispatcher knows, in catalogue order."""
    table = re.search(r"#define TALKWIRE_CALLBACKS\(X\)(.*?)\n\n", source("src", "dispatch", "listener.h"), re.S)
    return re.findall(r"X\((\w+)\)", table.group(1))


def method_styles():
    table = re.search(r"#define TALKWIRE_CONNECTOR_METHODS\(X\)(.*?)\n\n", source("src", "module", "methods.h"), re.S)
    return dict(re.findall(r"X\((\w+), (METH_\w+)\)", table.group(1)))


def split_parameters(text):
    """Top-level parameters of a def, without self and the / marker."""
    parameters, depth, current = [], 0, ""
    for char in text:
        if char in "[(":
            depth += 1
        elif char in "])":
            depth -= 1
        if char == "," and depth == 0:
            parameters.append(current.strip())
            current = ""
        else:
            current += char
    parameters.append(current.strip())
    return [p for p in parameters if p and p not in ("self", "/")]


def stub_text(module, source_name):
    """The module's stub: the one installed beside the talkwire package as a
    stub-only package when there is one, else the sources'."""
    site = os.path.dirname(os.path.dirname(os.path.abspath(talkwire.__file__)))
    installed = os.path.join(site, module.__name__ + "-stubs", "__init__.pyi")
    if os.path.isfile(installed):
        with open(installed) as handle:
            return handle.read()
    return source("python", source_name)


def stub():
    """{class name: {method name: [parameter lists, one per definition]}}."""
    text = stub_text(_talkwire, "_talkwire.pyi")
    classes = {}
    for match in re.finditer(r"^class (\w+)\b[^\n]*:\n(.*?)(?=^\S|\Z)", text, re.M | re.S):
        methods = classes.setdefault(match.group(1), {})
        for name, parameters in re.findall(r"def (\w+)\(([^)]*)\)\s*->", match.group(2)):
            methods.setdefault(name, []).append(split_parameters(parameters))
    return classes


class StubTest(unittest.TestCase):
    def test_stub_names_every_connector_method(self):
        methods = stub()["Connector"]
        public = set(name for name in dir(_talkwire.Connector) if not name.startswith("_"))
        self.assertEqual(set(methods) - set(["__init__"]), public)
        self.assertEqual(set(method_styles()), public)
        self.assertEqual(methods["__init__"], [["listener: object"]])

    def test_stub_arguments_follow_the_method_table(self):
        for name, style in method_styles().items():
            definitions = stub()["Connector"][name]
            if style == "METH_NOARGS":
                self.assertEqual(definitions, [[]], name)
            else:
                self.assertTrue(any(definitions), "%s takes arguments" % name)

    def test_stub_names_every_listener_callback(self):
        listener = stub()["_Listener"]
        self.assertEqual(sorted(listener), sorted(catalogue()))
        for name in catalogue():
            stub_count = len(listener[name][0])
            code = getattr(talkwire.Listener, name)
            code = getattr(code, "__func__", code).__code__
            self.assertEqual(code.co_argcount - 1, stub_count, name)

    def test_module_still_has_only_connector(self):
        self.assertEqual([n for n in dir(_talkwire) if not n.startswith("__")], ["Connector"])
        self.assertIs(talkwire.Connector, _talkwire.Connector)


def parameter_names(parameters):
    """Names of a parameter list, stub or doc string alike: annotations,
    defaults and the / and * markers left out, ** kept."""
    names = []
    for parameter in split_parameters(parameters):
        name = re.match(r"(\**\w*)", parameter).group(1)
        if name not in ("", "*"):
            names.append(name)
    return names


class ControlStubTest(unittest.TestCase):
    def test_stub_follows_the_control_module(self):
        text = re.sub(r"#.*", "", stub_text(voicesdk, "voicesdk.pyi"))
        functions = dict(re.findall(r"^def (\w+)\(((?:[^()]|\([^()]*\))*)\)", text, re.M))
        constants = re.findall(r"^([A-Z_]+): ", text, re.M)
        public = sorted(name for name in dir(voicesdk) if not name.startswith("_"))
        self.assertEqual(sorted(list(functions) + constants), public)
        for name, parameters in functions.items():
            # Each function's doc string starts with its signature.
            documented = re.match(r"%s\(([^)]*)\)" % name, getattr(voicesdk, name).__doc__)
            self.assertTrue(documented, name)
            self.assertEqual(parameter_names(parameters), parameter_names(documented.group(1)), name)


class ListenerTest(unittest.TestCase):
    def test_listener_carries_the_catalogue(self):
        self.assertEqual(list(talkwire.CALLBACKS), catalogue())
        for name in catalogue():
            method = getattr(talkwire.Listener, name)
            self.assertTrue(method.__doc__ and len(method.__doc__.strip()) > 40, name)
        public = [n for n in dir(talkwire.Listener) if not n.startswith("_")]
        self.assertEqual(sorted(public), sorted(catalogue()))

    def test_constants(self):
        self.assertEqual((talkwire.E_NOTIMPL, talkwire.E_FAIL, talkwire.E_INVALIDARG),
                         (E_NOTIMPL, E_FAIL, E_INVALIDARG))
        states = dict(re.findall(r"(\w+) = (\d+),", source("src", "channels", "registry.h")))
        for name, value in states.items():
            self.assertEqual(getattr(talkwire, "CHANNEL_" + name.upper()), int(value))
        self.assertEqual(len(states), 5)
        for name in talkwire.__all__:
            getattr(talkwire, name)


def probe_listener():
    """A Listener subclass whose every callback goes through the base
    method, so that a signature that does not fit what the module passes
    raises."""
    def forward(name):
        base = getattr(talkwire.Listener, name)

        def method(self, *args):
            base(self, *args)
            self.seen.append((name,) + args)
        return method

    methods = dict((name, forward(name)) for name in talkwire.CALLBACKS)
    probe = type("Probe", (talkwire.Listener,), methods)()
    probe.seen = []
    return probe


class ListenerSignatureTest(ServiceTest):
    SETTINGS = dict(IMMEDIATE, accounts={"alice": "pw"}, peers=["ava"], talk_rounds=1)

    def test_every_callback_reaches_the_base_class(self):
        probe = probe_listener()
        self.connector = _talkwire.Connector(probe)
        self.listener = probe
        c = self.connector
        with Unraisables() as errors:
            c.InitializeEx()
            self.pump_until(lambda: probe.seen)
            for name, password in [("nobody", "x"), ("alice", "bad"), ("alice", "pw")]:
                c.Login(name, password)
                self.pump_all()
            c.CreateAccount("new", "pw", "", "")
            c.CreateAccount("new", "pw", "", "")
            c.StartAudioTest()
            c.StopAudioTest()
            c.RunTroubleShooter()
            c.JoinChannelEx("lobby")
            self.pump_all()
            voicesdk.answer("account_channel_create", once=True, return_code=1, status_code=5)
            voicesdk.answer("sessiongroup_add_session", once=True, return_code=1, status_code=6)
            c.JoinChannelEx("refused")
            c.JoinChannelEx("lost")
            c.LeaveChannel("lobby")
            voicesdk.event(18, binding_name="talk", key_state=1)
            voicesdk.event(3)
            self.pump_all()
            c.Logout()
            c.InitiateShutdown()
            self.pump_all()
        self.assertEqual(errors.seen, [])
        self.assertEqual(sorted(set(call[0] for call in probe.seen)), sorted(talkwire.CALLBACKS))

    def test_connectivity_test_names(self):
        for test_type, name in enumerate(talkwire.CONNECTIVITY_TESTS):
            voicesdk.service(failing_test=test_type)
            self.connector.RunTroubleShooter()
        self.pump_all()
        reports = self.listener.of("OnConnectivityTroubleShooterErrorFound")
        self.assertEqual([report[1] for report in reports], list(talkwire.CONNECTIVITY_TESTS))
        self.assertEqual(len(reports), 17)


if __name__ == "__main__":
    unittest.main()
