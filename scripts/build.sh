#!/usr/bin/env bash
# Configures and builds one build tree.
# Usage: scripts/build.sh [DIR] [extra cmake options...]; ZELKORA_BUILD_TARGET names one target
# (the sanitizer build makes `logic_tests` only).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
# Cache entries keyed on paths relative to the checkout, so clones and worktrees share them.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)" ${ZELKORA_BUILD_TARGET:+--target "$ZELKORA_BUILD_TARGET"}
