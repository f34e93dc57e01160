#!/usr/bin/env bash
# Builds and runs every benchmark (speed goals are shown here, never by timed tests).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
for b in build/bench/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" --benchmark_min_time=0.2 "$@"
done
