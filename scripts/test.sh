#!/usr/bin/env bash
# Builds everything and runs every test: the C++ tests, the Python tests on
# every CPython found (pyenv's 2.7 and 3.6+; the default python3 at least),
# then the Python tests again against an ASan+UBSan build, then the
# reliability runs: the suite on a debug interpreter and under valgrind, the
# thread stress under TSan, and a short run of the dispatcher fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

build=${TALKWIRE_BUILD_DIR:-$root/build}
asan=${TALKWIRE_ASAN_BUILD_DIR:-$root/build-asan}
tsan=${TALKWIRE_TSAN_BUILD_DIR:-$root/build-tsan}
fuzz=${TALKWIRE_FUZZ_BUILD_DIR:-$root/build-fuzz}

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

echo "== build ($build)"
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs"

# The interpreter itself, not a launcher script (pyenv shims are shell scripts).
default_python=$(python3 -c "import sys; print(sys.executable)")
default_version=$("$default_python" -c 'import sys; print("py%d%d" % sys.version_info[:2])')
listed=$(ctest --test-dir "$build" -N -R "^python_${default_version}\$")
if [[ "$listed" != *"python_${default_version}"* ]]; then
    echo "the default python3 ($default_python) has no test run" >&2
    exit 1
fi

echo "== tests"
ctest --test-dir "$build" --output-on-failure -j "$jobs" -LE "slow|fuzz|valgrind|refleak"

# Installed as users install it: a wheel per CPython 3.7+ in a fresh virtual
# environment (pip, offline), install.sh for 2.7 and 3.6, the suite against each.
echo "== installations (scripts/test-wheels.sh)"
TALKWIRE_BUILD_DIR="$build" "$root/scripts/test-wheels.sh"

echo "== sanitized tests (ASan+UBSan, $default_python)"
cmake -S "$root" -B "$asan" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DTALKWIRE_SANITIZE=address \
      -DTALKWIRE_PYTHONS="$default_python" -DTALKWIRE_BUILD_BENCH=OFF >/dev/null
cmake --build "$asan" -j "$jobs"
ctest --test-dir "$asan" --output-on-failure -j "$jobs" -LE "slow|fuzz|valgrind"

echo "== reliability: debug interpreter reference counts, valgrind memcheck ($build)"
# One at a time: both are heavy, and valgrind slows down badly under load.
ctest --test-dir "$build" --output-on-failure -L "refleak|valgrind"

echo "== reliability: thread stress under ThreadSanitizer ($default_python)"
cmake -S "$root" -B "$tsan" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALKWIRE_SANITIZE=thread \
      -DTALKWIRE_PYTHONS="$default_python" -DTALKWIRE_BUILD_BENCH=OFF >/dev/null
cmake --build "$tsan" -j "$jobs" --target "_talkwire_${default_version}" "voicesdk_${default_version}"
ctest --test-dir "$tsan" --output-on-failure --no-tests=error -L tsan

echo "== reliability: dispatcher fuzzer, short run (clang-14, $default_python)"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$fuzz" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTALKWIRE_SANITIZE=fuzzer -DTALKWIRE_PYTHONS="$default_python" -DTALKWIRE_BUILD_BENCH=OFF >/dev/null
cmake --build "$fuzz" -j "$jobs" --target dispatcher_fuzzer
ctest --test-dir "$fuzz" --output-on-failure --no-tests=error -L fuzz

echo "== Python versions tested:"
ctest --test-dir "$build" -N -L python | sed -n 's/.*Test *#[0-9]*: python_py\([0-9]\)\([0-9]*\)$/  \1.\2/p'
