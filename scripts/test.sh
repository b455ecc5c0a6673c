#!/usr/bin/env bash
# Builds everything and runs every test: the C++ tests, the Python tests on
# every CPython found (pyenv's 2.7 and 3.6+; the default python3 at least),
# then the Python tests again against an ASan+UBSan build, then the
# reliability runs: the suite on a debug interpreter and under valgrind, the
# thread stress under TSan, and short runs of the dispatcher and server
# frame fuzzers.
#
# Installs the Debian packages the runs need when they are missing (as
# root; otherwise it prints the apt-get line to run and stops;
# TALKWIRE_NO_INSTALL=1 goes on without them).  Every promised run either
# happens or is named at the end as skipped, with why and what brings it;
# with CI set, a skipped run fails the command.  The last line counts the
# tests: "N passed, N failed, N skipped".
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

build=${TALKWIRE_BUILD_DIR:-$root/build}
asan=${TALKWIRE_ASAN_BUILD_DIR:-$root/build-asan}
tsan=${TALKWIRE_TSAN_BUILD_DIR:-$root/build-tsan}
fuzz=${TALKWIRE_FUZZ_BUILD_DIR:-$root/build-fuzz}

# ---- tools ----------------------------------------------------------------
# Debian's packages for every run below (and for ./scripts/bench.sh).
packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev ccache
          clang-14 libclang-rt-14-dev valgrind python3.11 python3.11-dev python3.11-dbg python3.11-venv mypy)
# Every interpreter the module is built and tested for.
promised_pythons=(2.7 3.6 3.7 3.8 3.9 3.10 3.11 3.12 3.13)

if command -v dpkg-query >/dev/null; then
    missing=()
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        if [ "${TALKWIRE_NO_INSTALL:-0}" != 0 ]; then
            echo "== not installing ${missing[*]} (TALKWIRE_NO_INSTALL): the runs that need them are skipped"
        elif [ "$(id -u)" -eq 0 ]; then
            echo "== installing ${missing[*]}"
            export DEBIAN_FRONTEND=noninteractive
            apt-get update
            apt-get install -y --no-install-recommends "${missing[@]}"
        else
            echo "missing Debian packages; as root, run:" >&2
            echo "apt-get install -y --no-install-recommends ${missing[*]}" >&2
            exit 1
        fi
    fi
else
    echo "== no dpkg here: nothing installed; the runs whose tools are missing are skipped"
fi

# ---- what ran and what did not -----------------------------------------------
passed=0
failed=0
not_run=0
failed_runs=()
skipped_runs=()
tested_pythons=()

# A promised run that cannot happen here: what, why, and what brings it.
skip() {
    skipped_runs+=("$1: $2 (needs $3)")
}

# Runs ctest on one tree; adds its counts to the totals and notes a failed
# run, but goes on, so that every run is tried.  $1 names the run.
run_ctest() {
    local name=$1
    shift
    local log status=0
    log=$(mktemp)
    ctest "$@" 2>&1 | tee "$log" || status=$?
    local counts total failures
    counts=$(sed -n 's/.* \([0-9][0-9]*\) tests failed out of \([0-9][0-9]*\).*/\1 \2/p' "$log" | tail -n 1)
    if [ -n "$counts" ]; then
        read -r failures total <<<"$counts"
        local skipped_here
        skipped_here=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" | grep -c ' - ' || true)
        failed=$((failed + failures))
        not_run=$((not_run + skipped_here))
        passed=$((passed + total - failures - skipped_here))
    fi
    rm -f "$log"
    if [ "$status" -ne 0 ]; then
        failed_runs+=("$name")
        [ -n "$counts" ] || failed=$((failed + 1))  # it found or ran nothing
    fi
}

# How many tests of a tree carry a label.
count_label() {
    ctest --test-dir "$1" -N -L "$2" | sed -n 's/^Total Tests: *//p'
}

closing_lines() {
    local status=$?
    echo
    echo "== Python versions tested: ${tested_pythons[*]:-none}"
    local run
    for run in "${skipped_runs[@]}"; do
        echo "== skipped: $run"
    done
    for run in "${failed_runs[@]}"; do
        echo "== failed: $run"
    done
    if [ ${#skipped_runs[@]} -gt 0 ] && [ -n "${CI:-}" ] && [ "${CI}" != 0 ] && [ "${CI}" != false ]; then
        echo "== CI is set: a promised run was skipped"
        [ "$status" -ne 0 ] || status=1
    fi
    echo "$passed passed, $failed failed, $((not_run + ${#skipped_runs[@]})) skipped"
    exit "$status"
}
trap closing_lines EXIT

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

echo "== build ($build)"
configure_log=$build/talkwire-configure.log
mkdir -p "$build"
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$configure_log"
cmake --build "$build" -j "$jobs"

# The interpreter itself, not a launcher script (pyenv shims are shell scripts).
default_python=$(python3 -c "import sys; print(sys.executable)")
default_version=$("$default_python" -c 'import sys; print("py%d%d" % sys.version_info[:2])')
listed=$(ctest --test-dir "$build" -N -R "^python_${default_version}\$")
if [[ "$listed" != *"python_${default_version}"* ]]; then
    echo "the default python3 ($default_python) has no test run" >&2
    exit 1
fi

# Each promised interpreter has its run, or is named with why it has none.
read -r -a tested_pythons <<<"$(ctest --test-dir "$build" -N -L python |
    sed -n 's/.*Test *#[0-9]*: python_py\([0-9]\)\([0-9]*\)$/\1.\2/p' | tr '\n' ' ')"
limited=$(sed -n 's/^TALKWIRE_PYTHONS:STRING=//p' "$build/CMakeCache.txt")
for version in "${promised_pythons[@]}"; do
    if [[ " ${tested_pythons[*]} " == *" $version "* ]]; then
        continue
    elif [ -n "$limited" ]; then
        skip "Python $version" "TALKWIRE_PYTHONS in $build/CMakeCache.txt leaves it out" "-UTALKWIRE_PYTHONS"
    elif grep -q "skipping .*python${version} (no headers)" "$configure_log"; then
        brings="pyenv install $version"
        [ "$version" != 3.11 ] || brings="$brings, or Debian's python3.11-dev"
        skip "Python $version" "found without its headers" "$brings"
    else
        brings="pyenv install $version"
        [ "$version" != 3.11 ] || brings="$brings, or Debian's python3.11-dev"
        skip "Python $version" "no interpreter found" "$brings"
    fi
done

echo "== tests"
run_ctest "tests ($build)" --test-dir "$build" --output-on-failure -j "$jobs" -LE "slow|fuzz|valgrind|refleak"

# Installed as users install it: a wheel per CPython 3.7+ in a fresh virtual
# environment (pip, offline), install.sh for 2.7 and 3.6, the suite against each.
echo "== installations (scripts/test-wheels.sh)"
wheels_log=$(mktemp)
wheels_status=0
TALKWIRE_BUILD_DIR="$build" "$root/scripts/test-wheels.sh" 2>&1 | tee "$wheels_log" || wheels_status=$?
read -r jobs_passed jobs_failed <<<"$(sed -n 's/^== installations: \([0-9]*\) passed, \([0-9]*\) failed.*/\1 \2/p' "$wheels_log")"
passed=$((passed + ${jobs_passed:-0}))
failed=$((failed + ${jobs_failed:-1}))
[ "$wheels_status" -eq 0 ] || failed_runs+=("installations (build-packages/logs)")
if ! command -v mypy >/dev/null; then
    skip "mypy check of the installed stubs" "no mypy" "Debian's mypy"
fi
rm -f "$wheels_log"

echo "== sanitized tests (ASan+UBSan, $default_python)"
cmake -S "$root" -B "$asan" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DTALKWIRE_SANITIZE=address \
      -DTALKWIRE_PYTHONS="$default_python" -DTALKWIRE_BUILD_BENCH=OFF >/dev/null
cmake --build "$asan" -j "$jobs"
run_ctest "sanitized tests ($asan)" --test-dir "$asan" --output-on-failure -j "$jobs" -LE "slow|fuzz|valgrind"

echo "== reliability: debug interpreter reference counts, valgrind memcheck ($build)"
# One at a time: both are heavy, and valgrind slows down badly under load.
labels=()
if [ "$(count_label "$build" refleak)" -gt 0 ]; then
    labels+=(refleak)
elif ! command -v python3.11d >/dev/null; then
    skip "refleak" "no debug interpreter python3.11d" "Debian's python3.11-dbg"
else
    skip "refleak" "$build made no run for python3.11d (its headers missing, or it came after the configure)" \
         "Debian's python3.11-dbg"
fi
if [ "$(count_label "$build" valgrind)" -gt 0 ]; then
    labels+=(valgrind)
elif ! command -v valgrind >/dev/null; then
    skip "valgrind" "no valgrind" "Debian's valgrind"
elif [ ! -x /usr/bin/python3.11 ]; then
    skip "valgrind" "no /usr/bin/python3.11" "Debian's python3.11"
else
    skip "valgrind" "no Python 3.11 build to load in Debian's python3.11" "pyenv install 3.11, or Debian's python3.11-dev"
fi
if [ ${#labels[@]} -gt 0 ]; then
    run_ctest "$(IFS=,; echo "${labels[*]}")" --test-dir "$build" --output-on-failure -L "$(IFS='|'; echo "${labels[*]}")"
fi

echo "== reliability: thread stress under ThreadSanitizer ($default_python)"
tsan_runtime=$(g++ -print-file-name=libtsan.so 2>/dev/null || true)
if [ ! -f "$tsan_runtime" ]; then
    skip "tsan" "no ThreadSanitizer runtime for g++" "Debian's g++ (libgcc-12-dev)"
else
    cmake -S "$root" -B "$tsan" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALKWIRE_SANITIZE=thread \
          -DTALKWIRE_PYTHONS="$default_python" -DTALKWIRE_BUILD_BENCH=OFF >/dev/null
    cmake --build "$tsan" -j "$jobs" --target "_talkwire_${default_version}" "_talkwire_loop_${default_version}" \
          "voicesdk_${default_version}"
    run_ctest "tsan" --test-dir "$tsan" --output-on-failure --no-tests=error -L tsan
fi

echo "== reliability: dispatcher and server frame fuzzers, short runs (clang-14, $default_python)"
if ! command -v clang++-14 >/dev/null; then
    skip "fuzz" "no clang++-14" "Debian's clang-14"
elif [ ! -f "$(clang-14 -print-file-name=libclang_rt.fuzzer-x86_64.a)" ]; then
    skip "fuzz" "no libFuzzer runtime for clang-14" "Debian's libclang-rt-14-dev"
else
    fuzz_log=$(mktemp)
    CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$fuzz" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
          -DTALKWIRE_SANITIZE=fuzzer -DTALKWIRE_PYTHONS="$default_python" -DTALKWIRE_BUILD_BENCH=OFF >"$fuzz_log"
    if [ "$(count_label "$fuzz" fuzz)" -gt 0 ]; then
        cmake --build "$fuzz" -j "$jobs" --target dispatcher_fuzzer server_frame_fuzzer
        run_ctest "fuzz" --test-dir "$fuzz" --output-on-failure --no-tests=error -L fuzz
    else
        why=$(sed -n 's/^-- talkwire: \(.*fuzzer.*\)/\1/p' "$fuzz_log" | head -n 1)
        skip "fuzz" "${why:-the fuzzer was not configured}" "a Python 3 with a shared libpython (pyenv's builds have one)"
    fi
    rm -f "$fuzz_log"
fi

[ ${#failed_runs[@]} -eq 0 ]
