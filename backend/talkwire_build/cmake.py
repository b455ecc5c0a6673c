"""Builds the modules for the interpreter that runs this code with the
project's own CMake build, and installs that interpreter's wheel_<tag>
component (the layout a wheel holds) into a staging folder.

The build tree is, by default, build-wheel/<abi>-<platform> in the source
tree, configured for this interpreter alone and kept, so that the next
build of the same interpreter only rebuilds what changed.  Settings, from
pip's --config-settings or, for pips without it, the environment:

  build-dir   TALKWIRE_WHEEL_BUILD_DIR   a build tree to use instead.  One
              already configured (for any number of interpreters) is only
              built and installed from, never reconfigured; it must hold
              modules for this interpreter.  An empty one is configured
              like the default tree.
  cmake-args  TALKWIRE_CMAKE_ARGS        more options for a tree configured
              here, e.g. "-DTALKWIRE_SDK_LIBRARY=/opt/sdk/lib/libvoicesdk.so".
"""
import hashlib
import os
import shlex
import shutil
import subprocess
import sys
import sysconfig

from talkwire_build import tags

BUILD_TYPE = "Release"


def interpreter():
    """The interpreter itself rather than a virtual environment's link to
    it: a kept build tree still names it once that environment is gone."""
    if sys.platform == "win32":
        base = getattr(sys, "_base_executable", "")
        return base if base and os.path.isfile(base) else sys.executable
    return os.path.realpath(sys.executable)


def python_tag():
    """The build's name for this interpreter's targets: py311."""
    return "py%d%d" % sys.version_info[:2]


def extension_suffix():
    return sysconfig.get_config_var("EXT_SUFFIX") or ".so"


def _setting(config_settings, key, variable):
    value = (config_settings or {}).get(key)
    if value is None:
        value = os.environ.get(variable, "")
    if isinstance(value, list):  # the key given more than once
        value = " ".join(value)
    return value


def _run(command):
    sys.stderr.write("-- %s\n" % " ".join(shlex.quote(part) for part in command))
    sys.stderr.flush()
    try:
        status = subprocess.call(command)
    except OSError as error:
        raise RuntimeError("cannot run %s (%s): the build needs CMake 3.16 or newer on PATH" % (command[0], error))
    if status != 0:
        raise RuntimeError("%s failed with exit status %d" % (" ".join(command[:2]), status))


def read_cache(tree):
    """{name: value} from a configured tree's CMakeCache.txt, or None."""
    path = os.path.join(tree, "CMakeCache.txt")
    if not os.path.isfile(path):
        return None
    entries = {}
    with open(path, encoding="utf-8", errors="replace") as handle:
        for line in handle:
            if line.startswith(("#", "//")) or "=" not in line or ":" not in line.split("=", 1)[0]:
                continue
            key, value = line.rstrip("\n").split("=", 1)
            entries[key.split(":", 1)[0]] = value
    return entries


def check_tree(tree, cache):
    """Raises unless the tree builds modules this interpreter can import."""
    tag = python_tag()
    if cache.get("TALKWIRE_%s_EXT_SUFFIX" % tag) == extension_suffix():
        return
    built = [other for other in cache.get("TALKWIRE_PYTHON_TAGS", "").split(";") if other]
    found = ", ".join("%s (%s)" % (other, cache.get("TALKWIRE_%s_EXT_SUFFIX" % other)) for other in built)
    raise RuntimeError("the build tree %s has no modules for %s, which imports _talkwire%s; it builds for: %s.  "
                       "Configure it for this interpreter, or leave build-dir out to build in a tree of its own"
                       % (tree, interpreter(), extension_suffix(), found or "none"))


def _own_tree(source_dir, cmake_args):
    name = "%s-%s" % (tags.abi_tag(), tags.platform_tag())
    if cmake_args:
        # Other options, another tree: the cache would keep them otherwise.
        name += "-" + hashlib.sha256(" ".join(cmake_args).encode("utf-8")).hexdigest()[:10]
    return os.path.join(source_dir, "build-wheel", name)


def _configure(source_dir, tree, cmake_args):
    command = ["cmake", "-S", source_dir, "-B", tree]
    if read_cache(tree) is None and shutil.which("ninja"):
        command += ["-G", "Ninja"]
    command += ["-DCMAKE_BUILD_TYPE=" + BUILD_TYPE,
                "-DTALKWIRE_PYTHONS=" + interpreter().replace("\\", "/"),
                "-DTALKWIRE_BUILD_TESTS=OFF", "-DTALKWIRE_BUILD_BENCH=OFF"] + cmake_args
    _run(command)


def stage(source_dir, staging, config_settings=None):
    """Builds this interpreter's modules and installs the wheel's files into
    `staging`.  Returns the build tree used."""
    cmake_args = shlex.split(_setting(config_settings, "cmake-args", "TALKWIRE_CMAKE_ARGS"))
    given = _setting(config_settings, "build-dir", "TALKWIRE_WHEEL_BUILD_DIR")
    tree = os.path.abspath(given) if given else _own_tree(source_dir, cmake_args)
    if not given or read_cache(tree) is None:
        _configure(source_dir, tree, cmake_args)
    cache = read_cache(tree)
    check_tree(tree, cache)
    tag = python_tag()
    build_type = cache.get("CMAKE_BUILD_TYPE") or BUILD_TYPE
    # talkwire_wheel_<tag> builds what the wheel_<tag> component installs.
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 2)
    _run(["cmake", "--build", tree, "--config", build_type, "--parallel", jobs,
          "--target", "talkwire_wheel_" + tag])
    _run(["cmake", "--install", tree, "--config", build_type, "--component", "wheel_" + tag,
          "--prefix", staging, "--strip"])
    module = os.path.join(staging, "_talkwire" + extension_suffix())
    if not os.path.isfile(module):
        raise RuntimeError("the install from %s left no %s" % (tree, os.path.basename(module)))
    return tree
