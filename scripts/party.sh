#!/usr/bin/env bash
# Builds the modules and the local voice server for the default python3 and
# runs the party: a server and three client processes in one channel.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
python=$(command -v python3)
build=${TALKWIRE_DEMO_BUILD_DIR:-$root/build-demo}
source "$root/scripts/build-modules.sh"
build_modules "$python" "$build" -DTALKWIRE_BUILD_BENCH=OFF
PYTHONPATH="$build/python/$tag:$root/python" exec "$python" "$root/demo/party.py" "$build/bin/talkwire-voice-server" "$@"
