"""The compatibility tag of a wheel for the running interpreter:
cp311-cp311-linux_x86_64.  The modules are built for exactly this
interpreter's ABI, so the wheel names it alone."""
import platform
import sys
import sysconfig


def interpreter_tag():
    if platform.python_implementation() != "CPython":
        raise RuntimeError("talkwire builds for CPython only, not " + platform.python_implementation())
    return "cp%d%d" % sys.version_info[:2]


def abi_tag():
    """cp311; cp37m before 3.8; a d for a debug build, a t for a
    free-threaded one: what SOABI (cpython-37m-x86_64-linux-gnu) or, on
    Windows, EXT_SUFFIX (.cp311-win_amd64.pyd) says."""
    soabi = sysconfig.get_config_var("SOABI")
    if soabi and soabi.startswith("cpython-"):
        return "cp" + soabi.split("-")[1]
    suffix = sysconfig.get_config_var("EXT_SUFFIX") or ""
    if suffix.startswith(".cp"):
        return suffix[1:].split("-")[0]
    return interpreter_tag()


def platform_tag():
    """linux_x86_64, win_amd64, macosx_11_0_arm64: the build platform with
    every '-' and '.' made '_'."""
    return sysconfig.get_platform().replace("-", "_").replace(".", "_")


def wheel_tag():
    return "-".join((interpreter_tag(), abi_tag(), platform_tag()))
