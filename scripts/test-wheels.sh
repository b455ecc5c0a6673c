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
# One interpreter after another is installed and tested, $(nproc) at a time
# (TALKWIRE_PACKAGE_JOBS: another number; CMAKE_BUILD_PARALLEL_LEVEL bounds
# each build); wheels, environments and logs go to build-packages/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${TALKWIRE_PACKAGE_JOBS:-$(nproc)}
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

now() { date +%s.%N; }
seconds_since() { python3 -c "import sys, time; print('%.1f' % (time.time() - float(sys.argv[1])))" "$1"; }
wheel_of() { ls "$1"/talkwire-*-cp"${2#py}"-*.whl; }
# One build at a time in a shared tree: ninja does not share its folder.
locked() { flock "$out/build.lock" "$@"; }

# Each step's line of the report goes to <job>.report; a failure ends the
# job with its log.
report() { echo "$2" >>"$out/logs/$1.report"; }
step() {
    local job=$1 what=$2
    shift 2
    "$@" >>"$out/logs/$job.log" 2>&1 || { report "$job" "FAILED: $what (log: $out/logs/$job.log)"; return 1; }
}

# The suite, from a folder of its own outside the sources, with nothing on
# PYTHONPATH but the installation itself (2.7 and 3.6: the prefix's
# site-packages); the local voice server's tests run the installed server.
run_suite() {
    local job=$1 python=$2 prefix=$3 wheel=$4 path=$5 server=$6 place status=0 log=$out/logs/$1-suite.log
    place=$(mktemp -d)
    cp -r "$out/suite" "$place/tests"
    (
        cd "$place"
        unset PYTHONPATH TALKWIRE_WHEEL
        [ -z "$path" ] || export PYTHONPATH=$path
        [ -z "$wheel" ] || export TALKWIRE_WHEEL=$wheel
        PYTHONDONTWRITEBYTECODE=1 PYTHONNOUSERSITE=1 TALKWIRE_SOURCE_DIR=$root TALKWIRE_INSTALLED_PREFIX=$prefix \
            TALKWIRE_VOICE_SERVER=$server "$python" -m unittest discover -s tests -t tests
    ) >"$log" 2>&1 || status=$?
    rm -rf "$place"
    report "$job" "suite ($("$python" --version 2>&1)): $(grep -E "^(Ran|OK|FAILED)" "$log" | tr '\n' ' ')"
    if [ $status != 0 ]; then
        report "$job" "FAILED: the suite (log: $log)"
        return 1
    fi
}

# 3.7 and newer: a fresh virtual environment, a wheel, pip.
wheel_job() {
    local tag=$1 python=$2 venv=$out/venv-$1 wheel began
    step "$tag" "python -m venv" "$python" -m venv "$venv" || return 1
    if [ "$tag" = "$default_tag" ]; then
        began=$(now)
        step "$tag" "pip install ." bash -c 'cd "$1" && "$2" install --no-index .' - "$root" "$venv/bin/pip" || return 1
        report "$tag" "pip install --no-index . (its build included): $(seconds_since "$began") s"
        step "$tag" "pip wheel ." bash -c 'cd "$1" && "$2" wheel --no-index --no-deps -w "$3" .' - \
             "$root" "$venv/bin/pip" "$out/wheels" || return 1
        wheel=$(wheel_of "$out/wheels" "$tag")
    else
        step "$tag" "pip wheel" locked env TALKWIRE_WHEEL_BUILD_DIR="$build" \
             "$venv/bin/pip" wheel --no-index --no-deps -w "$out/wheels" "$root" || return 1
        wheel=$(wheel_of "$out/wheels" "$tag")
        began=$(now)
        step "$tag" "pip install" "$venv/bin/pip" install --no-index "$wheel" || return 1
        report "$tag" "pip install of $(basename "$wheel"): $(seconds_since "$began") s"
    fi
    run_suite "$tag" "$venv/bin/python" "$venv" "$wheel" "" "$venv/bin/talkwire-voice-server"
}

# 2.7 and 3.6: scripts/install.sh into a fresh DESTDIR.
prefix_job() {
    local tag=$1 python=$2 prefix=$out/prefix-$1 site scripts
    step "$tag" "scripts/install.sh" locked env TALKWIRE_INSTALL_BUILD_DIR="$build" DESTDIR="$prefix" \
         "$root/scripts/install.sh" "$python" || return 1
    site=$prefix$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["platlib"])')
    scripts=$prefix$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["scripts"])')
    report "$tag" "scripts/install.sh into $prefix"
    run_suite "$tag" "$python" "$prefix" "" "$site" "$scripts/talkwire-voice-server"
}

# Another SDK library: the module and the given library, no control module,
# no demo.
other_sdk_job() {
    local job=othersdk venv=$out/venv-othersdk wheel
    mkdir -p "$other/sdk"
    step $job "building the stand-in" locked cmake --build "$build" --target voicesdk || return 1
    cp -p "$build/lib/libvoicesdk.so" "$other/sdk/libvoicesdk.so"
    step $job "configuring $other" cmake -S "$root" -B "$other" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DTALKWIRE_BUILD_BENCH=OFF -DTALKWIRE_BUILD_TESTS=OFF -DTALKWIRE_PYTHONS="$default_python" \
         -DTALKWIRE_SDK_LIBRARY="$other/sdk/libvoicesdk.so" || return 1
    step $job "python -m venv" "$default_python" -m venv "$venv" || return 1
    step $job "pip wheel" env TALKWIRE_WHEEL_BUILD_DIR="$other" \
         "$venv/bin/pip" wheel --no-index --no-deps -w "$out/wheels-othersdk" "$root" || return 1
    wheel=$(wheel_of "$out/wheels-othersdk" "$default_tag")
    step $job "pip install" "$venv/bin/pip" install --no-index "$wheel" || return 1
    step $job "checking the installation" bash -c 'cd "$1" && "$2" - "$3" "$4"' - "$out" "$venv/bin/python" \
         "$wheel" "$other/sdk/libvoicesdk.so" <<'EOF' || return 1
import subprocess, sys, sysconfig, zipfile
wheel, library = sys.argv[1:]
names = zipfile.ZipFile(wheel).namelist()
suffix = sysconfig.get_config_var("EXT_SUFFIX")
for name in ("_talkwire" + suffix, "_talkwire_loop" + suffix, "talkwire.libs/libvoicesdk.so",
             "talkwire.libs/libtwplatform.so", "talkwire/__init__.py", "_talkwire-stubs/__init__.pyi",
             "_talkwire_loop-stubs/__init__.pyi"):
    assert name in names, name
for name in ("voicesdk" + suffix, "voicesdk-stubs/__init__.pyi", "talkwire/demo.py"):
    assert name not in names, name
assert not [name for name in names if "talkwire-voice-server" in name], names
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
EOF
    report $job "$(basename "$wheel"): the modules, the given library and the stubs; no control module, demo or server"
}

# ---- the jobs, $jobs at a time --------------------------------------------------
echo "== installations: wheels for 3.7 and newer (the default python3 with pip install .), install.sh for 2.7 and 3.6"
order=("$default_tag")
for tag in $(cached TALKWIRE_PYTHON_TAGS | tr ';' ' '); do
    [ "$tag" = "$default_tag" ] || order+=("$tag")
done
[ "${TALKWIRE_WHEELS_OTHER_SDK:-1}" = 0 ] || order+=(othersdk)
for job in "${order[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    case $job in
        othersdk) other_sdk_job & ;;
        py2*|py3[0-6]) prefix_job "$job" "$(cached "TALKWIRE_${job}_EXECUTABLE")" & ;;
        *) wheel_job "$job" "$(cached "TALKWIRE_${job}_EXECUTABLE")" & ;;
    esac
done
wait

failed=0
for job in "${order[@]}"; do
    [ -f "$out/logs/$job.report" ] || report "$job" "FAILED: ended without a word"
    sed "s/^/   $job: /" "$out/logs/$job.report"
    if grep -q "^FAILED" "$out/logs/$job.report"; then
        failed=$((failed + 1))
        tail -n 60 "$out/logs/$job.log" "$out/logs/$job-suite.log" 2>/dev/null || true
    fi
done
if ! command -v mypy >/dev/null; then
    echo "   (no mypy: the suite's stub tests read the installed stubs instead)"
fi

wheel=$(wheel_of "$out/wheels" "$default_tag" 2>/dev/null || true)
if [ -n "$wheel" ]; then
    echo "== $(basename "$wheel"):"
    "$default_python" - "$wheel" <<'EOF'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as wheel:
    for entry in wheel.infolist():
        print("  %9d  %s" % (entry.file_size, entry.filename))
    total = sum(entry.file_size for entry in wheel.infolist())
print("  %9d  in all, %d in the archive" % (total, os.path.getsize(sys.argv[1])))
EOF
fi
# scripts/test.sh adds these counts to its own.
echo "== installations: $(( ${#order[@]} - failed )) passed, $failed failed, in $(( $(date +%s) - started )) s"
[ $failed -eq 0 ]
