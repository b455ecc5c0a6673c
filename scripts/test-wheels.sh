#!/usr/bin/env bash
# Installs talkwire the ways its users do, offline, and runs the Python test
# suite against each installation from a folder outside the source tree:
#   - every CPython from 3.7 the build found: a wheel (pip wheel --no-index)
#     installed into a fresh virtual environment.  The default python3 goes
#     through the README's own `pip install --no-index .`, which builds in
#     the backend's tree (build-wheel/); the others' wheels are made from the
#     modules already built in $TALKWIRE_BUILD_DIR (build/), not compiled
#     again;
#   - 2.7 and 3.6: scripts/install.sh into a fresh prefix (DESTDIR);
#   - a build against another SDK library (a copy of the stand-in's, in
#     build-othersdk/): its wheel leaves out the control module, its stub and
#     the demo, and carries the library it was given.
# The suite's installation tests (tests/python/test_installed.py) check that
# every module came from the installation, unpack the wheel into a folder
# whose path has spaces and non-ASCII characters and play a session there,
# and run Debian's mypy against the installed stubs when it is present.
# Wheels, environments and logs go to build-packages/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
build=${TALKWIRE_BUILD_DIR:-$root/build}
other=${TALKWIRE_OTHER_SDK_BUILD_DIR:-$root/build-othersdk}
out=${TALKWIRE_PACKAGES_DIR:-$root/build-packages}
started=$(date +%s)
source "$root/scripts/build-modules.sh"

# The backend's tree and the other-SDK tree share compiler results with
# build/ when their commands differ only in where they run.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
default_python=$(python3 -c "import sys; print(sys.executable)")
default_tag=$(python_tag "$default_python")

rm -rf "$out"
mkdir -p "$out/wheels" "$out/logs" "$out/suite"
cp "$root"/tests/python/*.py "$root"/voicesdk/tests/test_*.py "$out/suite/"

seconds_since() { python3 -c "import sys, time; print('%.1f' % (time.time() - float(sys.argv[1])))" "$1"; }
now() { python3 -c "import time; print(time.time())"; }
fail() { echo "$1; its log:" >&2; cat "$2" >&2; exit 1; }

# ---- installations ----------------------------------------------------------
# Each line of $out/installed: tag python prefix wheel pythonpath
: >"$out/installed"
wheel_of() { ls "$1"/talkwire-*-cp"${2#py}"-*.whl; }

install_wheel() {
    local tag=$1 python=$2 venv=$out/venv-$1 log=$out/logs/install-$1.log wheel began
    "$python" -m venv "$venv" >"$log" 2>&1 || fail "no virtual environment for $python" "$log"
    if [ "$tag" = "$default_tag" ]; then
        began=$(now)
        (cd "$root" && "$venv/bin/pip" install --no-index .) >>"$log" 2>&1 || fail "pip install . failed" "$log"
        echo "$tag: pip install --no-index . (build included) took $(seconds_since "$began") s"
        (cd "$root" && "$venv/bin/pip" wheel --no-index --no-deps -w "$out/wheels" .) >>"$log" 2>&1 ||
            fail "pip wheel . failed" "$log"
        wheel=$(wheel_of "$out/wheels" "$tag")
    else
        TALKWIRE_WHEEL_BUILD_DIR=$build "$venv/bin/pip" wheel --no-index --no-deps -w "$out/wheels" "$root" \
            >>"$log" 2>&1 || fail "pip wheel failed for $python" "$log"
        wheel=$(wheel_of "$out/wheels" "$tag")
        began=$(now)
        "$venv/bin/pip" install --no-index "$wheel" >>"$log" 2>&1 || fail "pip install $wheel failed" "$log"
        echo "$tag: pip install of $(basename "$wheel") took $(seconds_since "$began") s"
    fi
    echo "$tag $venv/bin/python $venv $wheel -" >>"$out/installed"
}

install_prefix() {
    local tag=$1 python=$2 prefix=$out/prefix-$1 log=$out/logs/install-$1.log site
    TALKWIRE_INSTALL_BUILD_DIR=$build DESTDIR=$prefix "$root/scripts/install.sh" "$python" >"$log" 2>&1 ||
        fail "scripts/install.sh $python failed" "$log"
    site=$prefix$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["platlib"])')
    echo "$tag: scripts/install.sh into $prefix"
    echo "$tag $python $prefix - $site" >>"$out/installed"
}

echo "== installing from wheels (3.7 and newer) and with scripts/install.sh (2.7, 3.6)"
for tag in $(cached TALKWIRE_PYTHON_TAGS | tr ';' ' '); do
    python=$(cached "TALKWIRE_${tag}_EXECUTABLE")
    case $tag in
        py2*|py3[0-6]) install_prefix "$tag" "$python" ;;
        *) install_wheel "$tag" "$python" ;;
    esac
done

echo "== wheel for $default_tag:"
"$default_python" - "$(wheel_of "$out/wheels" "$default_tag")" <<'EOF'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as wheel:
    for entry in wheel.infolist():
        print("  %9d  %s" % (entry.file_size, entry.filename))
    total = sum(entry.file_size for entry in wheel.infolist())
print("  %9d  unpacked; %s: %d bytes" % (total, os.path.basename(sys.argv[1]), os.path.getsize(sys.argv[1])))
EOF

# ---- another SDK library instead of the stand-in -----------------------------
if [ "${TALKWIRE_WHEELS_OTHER_SDK:-1}" != 0 ]; then
    echo "== a wheel built against another SDK library ($other)"
    log=$out/logs/othersdk.log
    mkdir -p "$other/sdk"
    cp -p "$build/lib/libvoicesdk.so" "$other/sdk/libvoicesdk.so"
    cmake -S "$root" -B "$other" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALKWIRE_BUILD_BENCH=OFF \
          -DTALKWIRE_BUILD_TESTS=OFF -DTALKWIRE_PYTHONS="$default_python" -DTALKWIRE_SDK_LIBRARY="$other/sdk/libvoicesdk.so" \
          >"$log" 2>&1 ||
        fail "configuring $other failed" "$log"
    venv=$out/venv-othersdk
    "$default_python" -m venv "$venv" >>"$log" 2>&1
    TALKWIRE_WHEEL_BUILD_DIR=$other "$venv/bin/pip" wheel --no-index --no-deps -w "$out/wheels-othersdk" "$root" \
        >>"$log" 2>&1 || fail "pip wheel against another SDK failed" "$log"
    wheel=$(wheel_of "$out/wheels-othersdk" "$default_tag")
    "$venv/bin/pip" install --no-index "$wheel" >>"$log" 2>&1 || fail "pip install $wheel failed" "$log"
    (cd "$out" && "$venv/bin/python" - "$wheel" "$other/sdk/libvoicesdk.so") <<'EOF' || fail "the other-SDK wheel is wrong" "$log"
import subprocess, sys, sysconfig, zipfile
wheel, library = sys.argv[1:]
names = zipfile.ZipFile(wheel).namelist()
suffix = sysconfig.get_config_var("EXT_SUFFIX")
for name in ("_talkwire" + suffix, "talkwire.libs/libvoicesdk.so", "talkwire.libs/libtwplatform.so",
             "talkwire/__init__.py", "_talkwire-stubs/__init__.pyi"):
    assert name in names, name
for name in ("voicesdk" + suffix, "voicesdk-stubs/__init__.pyi", "talkwire/demo.py"):
    assert name not in names, name
assert zipfile.ZipFile(wheel).read("talkwire.libs/libvoicesdk.so") == open(library, "rb").read()
import talkwire
connector = talkwire.Connector(None)  # registers with the SDK it was given
del connector
try:
    import voicesdk
except ImportError:
    pass
else:
    raise AssertionError("voicesdk installed from " + voicesdk.__file__)
demo = subprocess.run([sys.executable, "-m", "talkwire"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
assert demo.returncode == 2 and b"no demo" in demo.stderr, demo
version = subprocess.run([sys.executable, "-m", "talkwire", "--version"], stdout=subprocess.PIPE)
assert version.stdout.decode() == "talkwire %s\n" % talkwire.__version__, version
print("   %s: the module, the given library and the stubs; no control module, no demo" % wheel.split("/")[-1])
EOF
fi

# ---- the suite against each installation ------------------------------------
# From a folder of its own outside the sources, with nothing on PYTHONPATH
# but the installation itself (2.7 and 3.6: the prefix's site-packages).
run_suite() {
    local tag=$1 python=$2 prefix=$3 wheel=$4 path=$5 place status=0
    place=$(mktemp -d)
    cp -r "$out/suite" "$place/tests"
    (
        cd "$place"
        unset PYTHONPATH
        [ "$path" = - ] || export PYTHONPATH=$path
        [ "$wheel" = - ] || export TALKWIRE_WHEEL=$wheel
        PYTHONDONTWRITEBYTECODE=1 PYTHONNOUSERSITE=1 TALKWIRE_SOURCE_DIR=$root TALKWIRE_INSTALLED_PREFIX=$prefix \
            "$python" -m unittest discover -s tests -t tests
    ) >"$out/logs/suite-$tag.log" 2>&1 || status=$?
    rm -rf "$place"
    echo "$status" >"$out/logs/suite-$tag.status"
}

echo "== the Python suite against each installation ($jobs at a time; $(( $(date +%s) - started )) s so far)"
while read -r tag python prefix wheel path; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    run_suite "$tag" "$python" "$prefix" "$wheel" "$path" &
done <"$out/installed"
wait
failed=0
while read -r tag python prefix wheel path; do
    log=$out/logs/suite-$tag.log
    summary=$(grep -E "^(Ran|OK|FAILED)" "$log" | tr '\n' ' ')
    if [ "$(cat "$out/logs/suite-$tag.status")" != 0 ]; then
        echo "-- $tag failed; its log:"
        cat "$log"
        failed=1
    fi
    echo "   $tag ($("$python" --version 2>&1)): $summary"
done <"$out/installed"
if ! command -v mypy >/dev/null; then
    echo "   (no mypy: the stubs were checked by the suite's stub tests against the installed ones)"
fi
echo "== installations tested in $(( $(date +%s) - started )) s"
exit $failed
