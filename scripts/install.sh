#!/usr/bin/env bash
# Builds the modules for one interpreter (the default python3, or the one
# given) and installs _talkwire, voicesdk and the talkwire package into its
# site-packages.  DESTDIR, when set, is put in front of every path.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
python=${1:-$(command -v python3)}
build=${TALKWIRE_INSTALL_BUILD_DIR:-$root/build-install}
source "$root/scripts/build-modules.sh"
build_modules "$python" "$build" -DTALKWIRE_BUILD_BENCH=OFF
cmake --install "$build" --component "python_$tag"
