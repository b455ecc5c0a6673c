#!/usr/bin/env bash
# Installs _talkwire, _talkwire_loop, voicesdk, their stubs and the talkwire
# package into one interpreter's site-packages (the default python3, or the
# one given), and the local voice server among that interpreter's programs,
# for interpreters pip cannot install talkwire with (2.7, 3.6) and for
# system-wide installs; elsewhere `pip install .` is the usual road.
# Builds the modules in build-install/, or in TALKWIRE_INSTALL_BUILD_DIR:
# a tree already configured for that interpreter (scripts/test.sh's build/,
# say) is only brought up to date, not reconfigured.  DESTDIR, when set, is
# put in front of every path.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
python=${1:-$(command -v python3)}
build=${TALKWIRE_INSTALL_BUILD_DIR:-$root/build-install}
source "$root/scripts/build-modules.sh"
if tree_has_python "$build" "$python"; then
    tag=$(python_tag "$python")
    cmake --build "$build" -j "$(nproc)" >"$build.log" 2>&1 || { cat "$build.log"; exit 1; }
else
    build_modules "$python" "$build" -DTALKWIRE_BUILD_BENCH=OFF
fi
cmake --install "$build" --component "python_$tag"
