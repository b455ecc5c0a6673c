# -*- coding: utf-8 -*-
"""The package as its users get it: module files named for their
interpreter, the version, help() showing public names only, and, when the
suite runs against an installation (scripts/test-wheels.sh sets these):

  TALKWIRE_INSTALLED_PREFIX  the prefix (a virtual environment, a DESTDIR)
                             that every module must come from
  TALKWIRE_WHEEL             the wheel that was installed there

where each file was installed, the wheel itself unpacked into an awkward
folder, and a type checker finding the types of all three modules."""
from __future__ import print_function

import base64
import csv
import hashlib
import io
import json
import os
import pydoc
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import unittest
import zipfile

import _talkwire
import _talkwire_loop
import talkwire
import voicesdk

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("TALKWIRE_SOURCE_DIR") or os.path.join(HERE, "..", "..")
PREFIX = os.environ.get("TALKWIRE_INSTALLED_PREFIX")
WHEEL = os.environ.get("TALKWIRE_WHEEL")
LINUX = sys.platform.startswith("linux")


def extension_suffix():
    return sysconfig.get_config_var("EXT_SUFFIX") or sysconfig.get_config_var("SO")


def run_python(args, **options):
    """(exit status, stdout, stderr) of this interpreter run with `args`."""
    process = subprocess.Popen([sys.executable] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **options)
    out, err = process.communicate()
    return process.returncode, out.decode("utf-8", "replace"), err.decode("utf-8", "replace")


def loaded_libraries():
    """Real paths of the shared objects mapped into this process, by name."""
    found = {}
    with open("/proc/self/maps") as maps:
        for line in maps:
            path = line.split(None, 5)[-1].strip()
            if path.startswith("/"):
                found.setdefault(os.path.basename(path), set()).add(os.path.realpath(path))
    return found


class ModuleFilesTest(unittest.TestCase):
    def test_modules_carry_their_interpreters_suffix(self):
        # Without it a module built for another interpreter imports, then
        # fails on its first missing symbol.
        for module in (_talkwire, _talkwire_loop, voicesdk):
            self.assertEqual(os.path.basename(module.__file__), module.__name__ + extension_suffix())


class CommandLineTest(unittest.TestCase):
    def test_version_is_printed_to_stdout(self):
        status, out, err = run_python(["-m", "talkwire", "--version"])
        self.assertEqual((status, out, err), (0, "talkwire %s\n" % talkwire.__version__, ""))
        self.assertTrue(re.match(r"^\d+\.\d+\.\d+$", talkwire.__version__), talkwire.__version__)

    def test_unknown_argument_is_refused(self):
        status, out, err = run_python(["-m", "talkwire", "--frobnicate"])
        self.assertEqual((status, out), (2, ""))
        self.assertIn("--frobnicate", err)


def help_sections(module):
    """{section title: [lines]} of help(module) as plain text."""
    renderer = getattr(pydoc, "plaintext", None)
    text = renderer.document(module) if renderer else re.sub(".\b", "", pydoc.text.document(module))
    sections, title = {}, None
    for line in text.splitlines():
        if line and not line[0].isspace():
            title = line.strip()
            sections[title] = []
        elif title and line.strip():
            sections[title].append(line.strip())
    return sections


def private(names):
    """Names with a leading underscore, other than special __names__."""
    return [name for name in names if name.startswith("_") and not (name.startswith("__") and name.endswith("__"))]


class HelpTest(unittest.TestCase):
    def test_help_shows_public_names_only(self):
        sections = help_sections(talkwire)
        modules = sections.get("PACKAGE CONTENTS", []) + sections.get("SUBMODULES", [])
        self.assertIn("listener", modules)
        self.assertEqual(private(modules), [])
        data = [line.split(" = ")[0] for line in sections.get("DATA", []) if " = " in line]
        self.assertIn("LOGGED_IN", data)
        self.assertEqual(private(data), [])
        self.assertEqual(sections.get("VERSION"), [talkwire.__version__])


def site_folders():
    """Where _talkwire (platform files) and talkwire (pure Python) live."""
    return (os.path.dirname(os.path.realpath(_talkwire.__file__)),
            os.path.dirname(os.path.dirname(os.path.realpath(talkwire.__file__))))


@unittest.skipUnless(PREFIX, "not run against an installation")
class InstalledLayoutTest(unittest.TestCase):
    def test_every_module_comes_from_the_installation(self):
        prefix = os.path.realpath(PREFIX) + os.sep
        for module in (_talkwire, _talkwire_loop, voicesdk, talkwire):
            self.assertTrue(os.path.realpath(module.__file__).startswith(prefix), module.__file__)

    def test_type_information_is_installed_where_checkers_look(self):
        platlib, purelib = site_folders()
        for path in [(purelib, "_talkwire-stubs", "__init__.pyi"), (purelib, "_talkwire_loop-stubs", "__init__.pyi"),
                     (purelib, "voicesdk-stubs", "__init__.pyi"), (purelib, "talkwire", "py.typed")]:
            self.assertTrue(os.path.isfile(os.path.join(*path)), os.path.join(*path))

    @unittest.skipIf(sys.platform == "win32", "the local voice server is not built on Windows")
    def test_the_voice_server_is_among_the_installed_programs(self):
        # A virtual environment's own folder of programs, or the
        # interpreter's below the prefix an install.sh run was given.
        scripts = sysconfig.get_paths()["scripts"]
        found = [path for path in (os.path.join(scripts, "talkwire-voice-server"),
                                   os.path.join(PREFIX + scripts, "talkwire-voice-server"))
                 if os.path.isfile(path) and os.access(path, os.X_OK)]
        self.assertTrue(found, "no talkwire-voice-server in %s" % scripts)
        process = subprocess.Popen([found[0], "--help"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertIn(b"usage: talkwire-voice-server", process.communicate()[0])

    @unittest.skipUnless(LINUX, "reads /proc/self/maps")
    def test_shared_libraries_load_from_beside_the_modules(self):
        platlib = site_folders()[0]
        loaded = loaded_libraries()
        for name in ("libvoicesdk.so", "libtwplatform.so"):
            self.assertEqual(loaded.get(name), set([os.path.join(platlib, "talkwire.libs", name)]))

    @unittest.skipUnless(WHEEL and sys.version_info >= (3, 8), "no wheel installed, or no importlib.metadata")
    def test_installed_metadata_names_the_package_version(self):
        from importlib import metadata
        self.assertEqual(metadata.version("talkwire"), talkwire.__version__)


def record_hash(data):
    return "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode("ascii")


# Run from the unpacked wheel: every module must come from there, and a
# session must play through against the simulated voice service.
SESSION = r"""
import gc, json, os, sys, threading
import _talkwire, _talkwire_loop, talkwire, voicesdk
folder = os.path.realpath(sys.argv[1]) + os.sep
for module in (_talkwire, _talkwire_loop, talkwire, voicesdk):
    assert os.path.realpath(module.__file__).startswith(folder), module.__file__
heard = []

class Player(talkwire.Listener):
    def OnInitialized(self, status_code):
        heard.append(["initialized", status_code])
        connector.Login("player1", "secret")
    def OnLoggedIn(self, state):
        heard.append(["login state", state])
        if state == talkwire.LOGGED_IN:
            connector.JoinChannelEx("lobby")
        elif state == talkwire.LOGGED_OUT:
            connector.InitiateShutdown()
    def OnJoinedChannel(self, name):
        heard.append(["joined", name])
    def OnParticipantLeft(self, uri, name):
        heard.append(["peer left", uri])
        connector.LeaveChannel(name)
    def OnLeftChannel(self, name):
        heard.append(["left", name])
        connector.Logout()
    def OnShutDown(self):
        heard.append(["shut down"])
        pump_thread.quit()

voicesdk.mode("service")
voicesdk.service(latency=0, peer_interval=0, mic_interval=0, peers=["ava"], talk_rounds=1)
pump_thread = talkwire.QuitHandle()
connector = talkwire.Connector(Player())
connector.InitializeEx("orb")
watchdog = threading.Timer(30.0, pump_thread.quit)
watchdog.start()
connector.Run()
watchdog.cancel()
del connector
gc.collect()
voicesdk.flush(5.0)
maps = open("/proc/self/maps").read() if os.path.exists("/proc/self/maps") else ""
libraries = sorted(set(line.split(None, 5)[5] for line in maps.splitlines() if line.endswith("libvoicesdk.so")))
print(json.dumps({"heard": heard, "live": voicesdk.live(), "libraries": [os.path.realpath(p) for p in libraries]}))
voicesdk.reset()
"""


@unittest.skipUnless(WHEEL, "no wheel given")
class WheelTest(unittest.TestCase):
    def setUp(self):
        self.archive = zipfile.ZipFile(WHEEL)
        self.names = self.archive.namelist()
        self.dist_info = "talkwire-%s.dist-info" % talkwire.__version__

    def tearDown(self):
        self.archive.close()

    def test_record_lists_every_file_with_its_hash_and_size(self):
        record = self.dist_info + "/RECORD"
        self.assertEqual(self.names[-1], record)  # written last, after every file it hashes
        rows = list(csv.reader(io.StringIO(self.archive.read(record).decode("utf-8"))))
        self.assertEqual(sorted(row[0] for row in rows), sorted(self.names))
        for path, digest, size in rows:
            if path == record:
                self.assertEqual((digest, size), ("", ""))
            else:
                data = self.archive.read(path)
                self.assertEqual((digest, size), (record_hash(data), str(len(data))), path)

    def test_metadata_matches_the_file_name_and_the_package(self):
        name, version, tag = re.match(r"^([^-]+)-([^-]+)-(.+)\.whl$", os.path.basename(WHEEL)).groups()
        metadata = self.archive.read(self.dist_info + "/METADATA").decode("utf-8")
        headers = metadata.split("\n\n", 1)[0]
        self.assertIn("\nName: %s\n" % name, headers)
        self.assertIn("\nVersion: %s\n" % talkwire.__version__, headers)
        self.assertEqual(version, talkwire.__version__)
        wheel = self.archive.read(self.dist_info + "/WHEEL").decode("utf-8").splitlines()
        self.assertIn("Root-Is-Purelib: false", wheel)
        self.assertEqual([line for line in wheel if line.startswith("Tag: ")], ["Tag: " + tag])

    def test_holds_the_modules_the_libraries_the_types_and_the_server(self):
        suffix = extension_suffix()
        for path in ["_talkwire" + suffix, "_talkwire_loop" + suffix, "voicesdk" + suffix,
                     "talkwire.libs/libvoicesdk.so", "talkwire.libs/libtwplatform.so", "talkwire/__init__.py",
                     "talkwire/__main__.py", "talkwire/demo.py", "talkwire/aio/__init__.py", "talkwire/py.typed",
                     "_talkwire-stubs/__init__.pyi", "_talkwire_loop-stubs/__init__.pyi",
                     "voicesdk-stubs/__init__.pyi",
                     "talkwire-%s.data/scripts/talkwire-voice-server" % talkwire.__version__]:
            self.assertIn(path, self.names)
        self.assertEqual([name for name in self.names if name.endswith((".pyc", "/"))], [])
        server = self.archive.getinfo("talkwire-%s.data/scripts/talkwire-voice-server" % talkwire.__version__)
        self.assertTrue(server.external_attr >> 16 & 0o100, "the server is not executable in the wheel")

    @unittest.skipUnless(LINUX, "the libraries' $ORIGIN path")
    def test_unpacked_into_an_awkward_folder_it_plays_a_session(self):
        place = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, place)
        folder = os.path.join(place, u"wheel unpacked — ünïcødé 目录, with spaces")
        self.archive.extractall(folder)
        # extractall drops the mode bits; nothing here needs them.
        environment = dict(os.environ, PYTHONPATH=folder, PYTHONNOUSERSITE="1")
        status, out, err = run_python(["-c", SESSION, folder], cwd=place, env=environment)
        self.assertEqual(status, 0, err)
        report = json.loads(out)
        ava = "sip:ava@orb.voiceservice.example"
        self.assertEqual(report["heard"], [
            ["initialized", 0], ["login state", talkwire.LOGGING_IN], ["login state", talkwire.LOGGED_IN],
            ["joined", "lobby"], ["peer left", ava], ["left", "lobby"],
            ["login state", talkwire.LOGGING_OUT], ["login state", talkwire.LOGGED_OUT], ["shut down"]])
        self.assertEqual(report["live"], {"requests": 0, "responses": 0, "events": 0})
        self.assertEqual(report["libraries"], [os.path.realpath(os.path.join(folder, "talkwire.libs",
                                                                             "libvoicesdk.so"))])


def mypy_program():
    which = getattr(shutil, "which", None)
    return which("mypy") if which else None


# Misuse the type checker must report, one fault a line from line 3: each
# line shows that one module's types were found.
MISUSE = """import talkwire, voicesdk
connector = talkwire.Connector(None)
connector.Login("player1")
connector.Logon("player1", "secret")
count: str = voicesdk.live()["request"]
state: str = talkwire.LOGGED_IN
talkwire.pump("soon")
"""


@unittest.skipUnless(PREFIX and mypy_program() and sys.version_info >= (3, 8),
                     "not an installation, no mypy, or an interpreter older than the stubs' syntax")
class TypeCheckTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.place = tempfile.mkdtemp()
        status, output = cls.mypy("-c", "import talkwire")
        # A mypy older than the interpreter fails to ask it for its paths.
        if "Traceback" in output and "pyinfo" in output:
            cls.tearDownClass()
            raise unittest.SkipTest("this mypy cannot read Python %d.%d's site-packages" % sys.version_info[:2])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.place, ignore_errors=True)

    @classmethod
    def mypy(cls, *args):
        """Runs Debian's mypy on files in a folder of their own, against the
        packages installed for this interpreter."""
        command = [mypy_program(), "--python-executable", sys.executable,
                   "--python-version", "%d.%d" % sys.version_info[:2], "--check-untyped-defs",
                   "--cache-dir", os.path.join(cls.place, "cache")] + list(args)
        process = subprocess.Popen(command, cwd=cls.place, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        output = process.communicate()[0]
        return process.returncode, output.decode("utf-8", "replace")

    def write(self, name, text):
        with io.open(os.path.join(self.place, name), "w", encoding="utf-8") as handle:
            handle.write(text)
        return name

    # The host-loop examples; the party's files are process plumbing.
    EXAMPLES = ("frame_loop.py", "asyncio_session.py")

    def examples(self):
        """The README's programs and the examples in demo/, copied here."""
        names = []
        with io.open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as handle:
            blocks = re.findall(r"\n\n((?:    .*\n|\n)+)", handle.read())
        for number, block in enumerate(blocks):
            code = "\n".join(line[4:] for line in block.splitlines())
            if re.search(r"^import talkwire", code, re.M):
                names.append(self.write("readme_%d.py" % number, code))
        for name in self.EXAMPLES:
            shutil.copy(os.path.join(SOURCE, "demo", name), os.path.join(self.place, name))
            names.append(name)
        return names

    def test_examples_and_the_package_check_cleanly(self):
        examples = self.examples()
        self.assertTrue(examples, "the README shows no program")
        for files in (examples, ["-p", "talkwire"]):
            status, output = self.mypy(*files)
            self.assertEqual(status, 0, output)

    def test_misuse_of_each_module_is_reported(self):
        status, output = self.mypy(self.write("misuse.py", MISUSE))
        lines = sorted(set(int(n) for n in re.findall(r"^misuse\.py:(\d+): error", output, re.M)))
        self.assertEqual((status, lines), (1, [3, 4, 5, 6, 7]), output)


if __name__ == "__main__":
    unittest.main()
