#!/usr/bin/env bash
# Builds a Release tree for the default python3 and runs the benchmarks:
# prints the table (with the interpreter's version and the core count) and
# writes every figure to build-bench/bench-results.json; then the local
# voice server's fan-out (TALKWIRE_BENCH_SERVER=0 leaves it out).  Arguments
# go to bench/run.py (--quick, --only throughput,round_trip, --json PATH).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
python=$(command -v python3)
build=${TALKWIRE_BENCH_BUILD_DIR:-$root/build-bench}
echo "== building $build for $("$python" --version 2>&1) on $(nproc) cores"
source "$root/scripts/build-modules.sh"
build_modules "$python" "$build" -DTALKWIRE_BUILD_BENCH=ON
"$python" "$root/bench/run.py" --build "$build" --json "$build/bench-results.json" "$@"
# The local voice server's fan-out (C++: raw protocol clients in one thread).
if [ "${TALKWIRE_BENCH_SERVER:-1}" != 0 ] && [ -x "$build/bin/server_fanout" ]; then
    echo
    "$build/bin/server_fanout" "$build/bin/talkwire-voice-server"
fi
