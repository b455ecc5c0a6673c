#!/usr/bin/env bash
# Builds the modules for the default python3 and runs the demo voice session.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
python=$(command -v python3)
build=${TALKWIRE_DEMO_BUILD_DIR:-$root/build-demo}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
tag=$("$python" -c 'import sys; print("py%d%d" % sys.version_info[:2])')
{
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DTALKWIRE_PYTHONS="$python" \
          -DTALKWIRE_BUILD_TESTS=OFF -DTALKWIRE_BUILD_BENCH=OFF
    cmake --build "$build" -j "$(nproc)"
} >"$build.log" 2>&1 || { cat "$build.log"; exit 1; }
PYTHONPATH="$build/python/$tag:$root/python" exec "$python" "$root/demo/session.py" "$@"
