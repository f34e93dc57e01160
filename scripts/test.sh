#!/usr/bin/env bash
# Installs, builds and runs every test: the release build, then the logic libraries' tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)"

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DZELKORA_SANITIZE=ON -DZELKORA_TESTS_ONLY=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j"$(nproc)" -L logic
