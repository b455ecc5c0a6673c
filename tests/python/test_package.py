"""The Python-facing package: the talkwire package's Listener and constants
and the _talkwire type stub, checked against the built module.  The module's
catalogues (callbacks, connectivity test names, error codes) are built from
the package, so these checks hold for an installed package too: with
TALKWIRE_SOURCE_DIR set empty, only the checks that need the sources are
skipped."""
import os
import re
import sys
import unittest

import _talkwire
import _talkwire_loop
import talkwire
import voicesdk

from service_support import IMMEDIATE, ServiceTest
from support import OTHER_EVENT, ConnectorTest, RecordingListener, Unraisables

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("TALKWIRE_SOURCE_DIR", os.path.join(HERE, "..", ".."))
needs_sources = unittest.skipUnless(SOURCE, "no source tree")


def source(*path):
    with open(os.path.join(SOURCE, *path)) as handle:
        return handle.read()


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
        self.assertEqual(methods["__init__"], [["listener: object"]])

    @needs_sources
    def test_stub_arguments_follow_the_method_table(self):
        self.assertEqual(set(method_styles()), set(stub()["Connector"]) - set(["__init__"]))
        for name, style in method_styles().items():
            definitions = stub()["Connector"][name]
            if style == "METH_NOARGS":
                self.assertEqual(definitions, [[]], name)
            else:
                self.assertTrue(any(definitions), "%s takes arguments" % name)

    def test_stub_names_every_listener_callback(self):
        listener = stub()["_Listener"]
        self.assertEqual(sorted(listener), sorted(talkwire.CALLBACKS))
        for name in talkwire.CALLBACKS:
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
        constants = re.findall(r"^([A-Z_][A-Z0-9_]*): ", text, re.M)
        public = sorted(name for name in dir(voicesdk) if not name.startswith("_"))
        self.assertEqual(sorted(list(functions) + constants), public)
        for name, parameters in functions.items():
            # Each function's doc string starts with its signature.
            documented = re.match(r"%s\(([^)]*)\)" % name, getattr(voicesdk, name).__doc__)
            self.assertTrue(documented, name)
            self.assertEqual(parameter_names(parameters), parameter_names(documented.group(1)), name)


class LoopStubTest(unittest.TestCase):
    def test_stub_names_what_the_loop_module_has(self):
        text = stub_text(_talkwire_loop, "_talkwire_loop.pyi")
        # Module level, the platform's block included; then QuitHandle's body.
        names = re.findall(r"^(?:    )?(?:def|class) (\w+)", text.split("class QuitHandle")[0], re.M)
        if sys.platform == "win32":
            names.remove("wakeup_fd")  # the stub's block for other platforms
        public = sorted(name for name in dir(_talkwire_loop) if not name.startswith("_"))
        self.assertEqual(sorted(names + ["QuitHandle"]), public)
        members = re.findall(r"^    def (\w+)", text.split("class QuitHandle")[1], re.M)
        handle = sorted(name for name in dir(_talkwire_loop.QuitHandle) if not name.startswith("_"))
        self.assertEqual(sorted(set(members) - set(["__init__"])), handle)


class ListenerTest(unittest.TestCase):
    def test_listener_carries_the_catalogue(self):
        self.assertEqual(len(talkwire.CALLBACKS), 18)
        for name in talkwire.CALLBACKS:
            method = getattr(talkwire.Listener, name)
            self.assertTrue(method.__doc__ and len(method.__doc__.strip()) > 40, name)
        public = [n for n in dir(talkwire.Listener) if not n.startswith("_")]
        self.assertEqual(sorted(public), sorted(talkwire.CALLBACKS))

    def test_constants(self):
        # The module's build checks the channel states against these.
        self.assertEqual(len([name for name in talkwire.__all__ if name.startswith("CHANNEL_")]), 5)
        for name in talkwire.__all__:
            getattr(talkwire, name)


class ErrorCodeTest(ConnectorTest):
    def test_the_codes_raised_are_the_named_ones(self):
        c = self.connector
        for code, method, args in [(talkwire.E_NOTIMPL, c.Answer, ()),
                                   (talkwire.E_FAIL, c.Login, ("name", "password")),
                                   (talkwire.E_INVALIDARG, c.JoinChannelEx, ("",))]:
            with self.assertRaises(OSError) as caught:
                method(*args)
            self.assertEqual(caught.exception.args[0], code)


def probe_listener():
    """A Listener subclass whose every callback goes through the base
    method, so that a signature that does not fit what the module passes
    raises."""
    def forward(name):
        base = getattr(talkwire.Listener, name)

        def method(self, *args):
            base(self, *args)
            self.calls.append((name,) + args)
        return method

    methods = dict((name, forward(name)) for name in talkwire.CALLBACKS)
    probe = type("Probe", (talkwire.Listener,), methods)()
    probe.calls = []
    return probe


class ListenerSignatureTest(ServiceTest):
    SETTINGS = dict(IMMEDIATE, accounts={"alice": "pw"}, peers=["ava"], talk_rounds=1)

    def call_every_callback(self, listener):
        """A session in which the module calls every callback it knows;
        what reached the unraisable hook."""
        self.connector = _talkwire.Connector(listener)
        self.listener = listener
        c = self.connector
        with Unraisables() as errors:
            c.InitializeEx()
            self.pump_until(lambda: listener.calls)
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
            voicesdk.event(voicesdk.EVENT_KEYBOARD_MOUSE, binding_name="talk", key_state=1)
            voicesdk.event(OTHER_EVENT)
            self.pump_all()
            c.Logout()
            c.InitiateShutdown()
            self.pump_all()
        return errors.seen

    def test_every_callback_reaches_the_base_class(self):
        probe = probe_listener()
        self.assertEqual(self.call_every_callback(probe), [])
        self.assertEqual(sorted(set(call[0] for call in probe.calls)), sorted(talkwire.CALLBACKS))

    def test_the_module_calls_the_package_catalogue(self):
        listener = RecordingListener()
        self.assertEqual(self.call_every_callback(listener), [])
        self.assertEqual(sorted(set(listener.names())), sorted(talkwire.CALLBACKS))

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
