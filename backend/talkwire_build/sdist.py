"""Writes a source distribution: talkwire-<version>.tar.gz holding the
source tree under talkwire-<version>/ with PKG-INFO beside pyproject.toml.
Left out, as git leaves them out: build trees, the git folder, compiled
Python files."""
import io
import os
import tarfile
import time


def _left_out(relative):
    parts = relative.split("/")
    if parts[0].startswith("build") or parts[0] == ".git":
        return True
    return "__pycache__" in parts or parts[-1].endswith(".pyc")


def source_files(source_dir):
    """Paths relative to `source_dir`, with '/', sorted."""
    found = []
    for folder, folders, files in os.walk(source_dir):
        folders.sort()
        for name in files:
            relative = os.path.relpath(os.path.join(folder, name), source_dir).replace(os.sep, "/")
            if not _left_out(relative):
                found.append(relative)
    return sorted(found)


def _normalised(entry):
    """No owner, and a mode of 644 or 755."""
    entry.uid = entry.gid = 0
    entry.uname = entry.gname = ""
    entry.mode = 0o755 if entry.mode & 0o100 else 0o644
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch:
        entry.mtime = int(epoch)
    return entry


def write_sdist(path, source_dir, top, pkg_info):
    with tarfile.open(path, "w:gz", format=tarfile.PAX_FORMAT) as archive:
        data = pkg_info.encode("utf-8")
        entry = tarfile.TarInfo(top + "/PKG-INFO")
        entry.size = len(data)
        entry.mtime = int(time.time())
        archive.addfile(_normalised(entry), io.BytesIO(data))
        for relative in source_files(source_dir):
            archive.add(os.path.join(source_dir, relative), top + "/" + relative,
                        recursive=False, filter=_normalised)
