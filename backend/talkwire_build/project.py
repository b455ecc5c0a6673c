"""What the distribution says about itself: its name, its version (read from
the talkwire package, where it is written once) and its core metadata."""
import os
import re

NAME = "talkwire"
SUMMARY = "Voice chat for the game client: a CPython extension over a voice SDK, with a simulated voice service"
REQUIRES_PYTHON = ">=3.7"
CLASSIFIERS = (
    "Programming Language :: Python :: 3",
    "Programming Language :: Python :: Implementation :: CPython",
    "Programming Language :: C++",
    "Operating System :: POSIX :: Linux",
    "Operating System :: Microsoft :: Windows",
    "Topic :: Communications :: Conferencing",
    "Typing :: Typed",
)
# Metadata 2.2: the oldest a source distribution may carry; the wheel
# carries the same text.
METADATA_VERSION = "2.2"

_VERSION_LINE = re.compile(r'^__version__ = "([^"]+)"$', re.M)
# Public version identifiers in their normalised form: release, then
# optional pre-, post- and development parts.
_PUBLIC_VERSION = re.compile(r"^\d+(\.\d+)*((a|b|rc)\d+)?(\.post\d+)?(\.dev\d+)?$")


def version(source_dir):
    """The version written in python/talkwire/__init__.py."""
    path = os.path.join(source_dir, "python", "talkwire", "__init__.py")
    with open(path, encoding="utf-8") as handle:
        found = _VERSION_LINE.findall(handle.read())
    if len(found) != 1 or not _PUBLIC_VERSION.match(found[0]):
        raise ValueError("%s must set __version__ once, to a normalised version such as \"1.2.0\"" % path)
    return found[0]


def dist_info_name(source_dir):
    return "%s-%s.dist-info" % (NAME, version(source_dir))


def metadata(source_dir):
    """The core metadata text (METADATA in a wheel, PKG-INFO in an sdist),
    with the README as its description."""
    with open(os.path.join(source_dir, "README.md"), encoding="utf-8") as handle:
        description = handle.read()
    lines = ["Metadata-Version: " + METADATA_VERSION,
             "Name: " + NAME,
             "Version: " + version(source_dir),
             "Summary: " + SUMMARY,
             "Requires-Python: " + REQUIRES_PYTHON]
    lines += ["Classifier: " + classifier for classifier in CLASSIFIERS]
    lines.append("Description-Content-Type: text/markdown; charset=UTF-8")
    # The description goes in the body, after one blank line.
    return "\n".join(lines) + "\n\n" + description
