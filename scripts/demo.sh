#!/usr/bin/env bash
# Builds the modules for the default python3 and runs a demo against the
# simulated voice service: the voice session (no argument: python -m talkwire,
# the session in python/talkwire/demo.py), the game frame loop (frame-loop)
# or the asyncio session (asyncio), both in demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
python=$(command -v python3)
build=${TALKWIRE_DEMO_BUILD_DIR:-$root/build-demo}
program=(-m talkwire)
case "${1:-}" in
    frame-loop) program=("$root/demo/frame_loop.py"); shift ;;
    asyncio) program=("$root/demo/asyncio_session.py"); shift ;;
esac
source "$root/scripts/build-modules.sh"
build_modules "$python" "$build" -DTALKWIRE_BUILD_BENCH=OFF
PYTHONPATH="$build/python/$tag:$root/python" exec "$python" "${program[@]}" "$@"
