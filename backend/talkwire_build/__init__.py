"""The build backend of talkwire's pyproject.toml: the standard build hooks,
written with the standard library alone, so that `pip install .` needs
nothing from a package index.  It drives the project's CMake build for the
interpreter that runs it and writes the wheel itself.

Where a package index is reachable, a maintained CMake backend can take its
place in pyproject.toml; the CMake build already installs the wheel's
layout (the wheel_<tag> components).
"""
import os
import shutil
import tempfile

from talkwire_build import cmake, project, sdist, tags, wheelfile

# The hooks run with the source tree as the working folder.
SOURCE_DIR = os.path.abspath(os.getcwd())


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def _metadata_files(metadata_directory=None):
    """(name, text) of METADATA and WHEEL: when given the .dist-info folder
    prepare_metadata_for_build_wheel wrote, those it holds, so that the
    wheel carries exactly them."""
    files = []
    for name, text in (("METADATA", project.metadata(SOURCE_DIR)),
                       ("WHEEL", wheelfile.wheel_text(tags.wheel_tag(), project.version(SOURCE_DIR)))):
        if metadata_directory:
            with open(os.path.join(metadata_directory, name), encoding="utf-8") as handle:
                text = handle.read()
        files.append((name, text))
    return files


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    dist_info = project.dist_info_name(SOURCE_DIR)
    os.makedirs(os.path.join(metadata_directory, dist_info))
    for name, text in _metadata_files():
        with open(os.path.join(metadata_directory, dist_info, name), "w", encoding="utf-8", newline="\n") as handle:
            handle.write(text)
    return dist_info


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    name = "%s-%s-%s.whl" % (project.NAME, project.version(SOURCE_DIR), tags.wheel_tag())
    staging = tempfile.mkdtemp(prefix="talkwire-wheel-")
    try:
        cmake.stage(SOURCE_DIR, staging, config_settings)
        wheelfile.write_wheel(os.path.join(wheel_directory, name), staging, project.dist_info_name(SOURCE_DIR),
                              _metadata_files(metadata_directory))
    finally:
        shutil.rmtree(staging, ignore_errors=True)
    return name


def build_sdist(sdist_directory, config_settings=None):
    top = "%s-%s" % (project.NAME, project.version(SOURCE_DIR))
    sdist.write_sdist(os.path.join(sdist_directory, top + ".tar.gz"), SOURCE_DIR, top,
                      project.metadata(SOURCE_DIR))
    return top + ".tar.gz"
