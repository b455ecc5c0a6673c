"""Writes a wheel: the staged files at the archive's root, then the
.dist-info folder (METADATA, WHEEL, and RECORD last, listing every file
with its sha256 and size)."""
import base64
import csv
import hashlib
import io
import os
import stat
import time
import zipfile

GENERATOR = "talkwire_build"
# The oldest time a zip entry can carry.
ZIP_EPOCH = time.mktime((1980, 1, 1, 0, 0, 0, 0, 0, -1))


def record_hash(data):
    """sha256=<urlsafe base64 of the digest, without padding>."""
    digest = hashlib.sha256(data).digest()
    return "sha256=" + base64.urlsafe_b64encode(digest).rstrip(b"=").decode("ascii")


def wheel_text(tag, version):
    return ("Wheel-Version: 1.0\n"
            "Generator: %s %s\n"
            "Root-Is-Purelib: false\n"
            "Tag: %s\n" % (GENERATOR, version, tag))


def staged_files(staging):
    """(archive path, file path) of every file under `staging`, sorted."""
    found = []
    for folder, folders, files in os.walk(staging):
        folders.sort()
        for name in files:
            path = os.path.join(folder, name)
            found.append((os.path.relpath(path, staging).replace(os.sep, "/"), path))
    return sorted(found)


def _timestamp(path):
    """SOURCE_DATE_EPOCH when set (reproducible archives), else the file's
    own time; never before 1980, which zip cannot hold."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch:
        moment = int(epoch)
    elif path:
        moment = os.stat(path).st_mtime
    else:
        moment = time.time()
    return time.localtime(max(moment, ZIP_EPOCH))[:6]


class WheelWriter(object):
    def __init__(self, path):
        self._zip = zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED)
        self._records = []

    def add_bytes(self, name, data, mode=0o644, source=None):
        entry = zipfile.ZipInfo(name, date_time=_timestamp(source))
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = (stat.S_IFREG | mode) << 16
        self._zip.writestr(entry, data)
        self._records.append((name, record_hash(data), str(len(data))))

    def add_file(self, name, path):
        with open(path, "rb") as handle:
            data = handle.read()
        executable = os.stat(path).st_mode & stat.S_IXUSR
        self.add_bytes(name, data, 0o755 if executable else 0o644, source=path)

    def close(self, record_name):
        """Writes RECORD, which lists itself without hash or size."""
        text = io.StringIO()
        writer = csv.writer(text, lineterminator="\n")
        writer.writerows(self._records + [(record_name, "", "")])
        entry = zipfile.ZipInfo(record_name, date_time=_timestamp(None))
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = (stat.S_IFREG | 0o644) << 16
        self._zip.writestr(entry, text.getvalue().encode("utf-8"))
        self._zip.close()

    def abort(self):
        self._zip.close()


# The staged folder whose subfolders (scripts/, ...) belong in the wheel's
# <name>-<version>.data/ folder, which installers put elsewhere than
# site-packages (scripts/: the environment's programs, bin/ or Scripts\).
STAGED_DATA = "wheel-data"


def archive_name(name, dist_info):
    """Where a staged file goes in the wheel."""
    top, _, rest = name.partition("/")
    if top.endswith((".dist-info", ".data")):
        raise RuntimeError("the build installed a folder the wheel keeps for itself: " + name)
    if top == STAGED_DATA:
        return dist_info[:-len(".dist-info")] + ".data/" + rest
    return name


def write_wheel(path, staging, dist_info, metadata_files):
    """Writes the wheel at `path`: the files under `staging` (STAGED_DATA's
    in the .data folder), then `dist_info`/<name> for each (name, text) in
    `metadata_files`, then RECORD."""
    writer = WheelWriter(path)
    try:
        for name, source in staged_files(staging):
            writer.add_file(archive_name(name, dist_info), source)
        for name, text in metadata_files:
            writer.add_bytes(dist_info + "/" + name, text.encode("utf-8"))
        writer.close(dist_info + "/RECORD")
    except BaseException:
        writer.abort()
        os.remove(path)
        raise
