#!/usr/bin/env bash
# Builds the modules for one interpreter (the default python3, or the one
# given) and installs _talkwire, voicesdk and the talkwire package into its
# site-packages.  DESTDIR, when set, is put in front of every path.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
python=${1:-$(command -v python3)}
build=${TALKWIRE_INSTALL_BUILD_DIR:-$root/build-install}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
tag=$("$python" -c 'import sys; print("py%d%d" % sys.version_info[:2])')
{
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DTALKWIRE_PYTHONS="$python" \
          -DTALKWIRE_BUILD_TESTS=OFF -DTALKWIRE_BUILD_BENCH=OFF
    cmake --build "$build" -j "$(nproc)"
} >"$build.log" 2>&1 || { cat "$build.log"; exit 1; }
cmake --install "$build" --component "python_$tag"
