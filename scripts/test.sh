#!/usr/bin/env bash
# Builds everything and runs every test: the C++ tests, the Python tests on
# every CPython found (pyenv's 2.7 and 3.6+; the default python3 at least),
# then the Python tests again against an ASan+UBSan build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

build=${TALKWIRE_BUILD_DIR:-$root/build}
asan=${TALKWIRE_ASAN_BUILD_DIR:-$root/build-asan}

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

echo "== build ($build)"
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs"

default_python=$(command -v python3)
default_version=$("$default_python" -c 'import sys; print("py%d%d" % sys.version_info[:2])')
if ! ctest --test-dir "$build" -N -R "^python_${default_version}\$" | grep -q "python_${default_version}"; then
    echo "the default python3 ($default_python) has no test run" >&2
    exit 1
fi

echo "== tests"
ctest --test-dir "$build" --output-on-failure -j "$jobs" -LE "slow|fuzz|valgrind"

echo "== sanitized tests (ASan+UBSan, $default_python)"
cmake -S "$root" -B "$asan" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DTALKWIRE_SANITIZE=address \
      -DTALKWIRE_PYTHONS="$default_python" -DTALKWIRE_BUILD_BENCH=OFF >/dev/null
cmake --build "$asan" -j "$jobs"
ctest --test-dir "$asan" --output-on-failure -j "$jobs" -LE "slow|fuzz|valgrind"

echo "== Python versions tested:"
ctest --test-dir "$build" -N -L python | sed -n 's/.*Test *#[0-9]*: python_py\([0-9]\)\([0-9]*\)$/  \1.\2/p'
