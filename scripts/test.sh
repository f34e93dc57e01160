#!/usr/bin/env bash
# Installs, builds and runs every test: the release build, then the logic libraries' tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer. Says how long each step took.
set -euo pipefail
cd "$(dirname "$0")/.."

# step NAME COMMAND...: runs one step and says how long it took.
step() {
    local name=$1 began=$SECONDS
    shift
    "$@"
    echo "step '$name' took $((SECONDS - began)) s"
}

step setup scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
step "release build" scripts/build.sh build
step "release tests" ctest --test-dir build --output-on-failure -j"$(nproc)"

step "sanitizer build" env ZELKORA_BUILD_TARGET=logic_tests scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DZELKORA_SANITIZE=ON \
    -DZELKORA_TESTS_ONLY=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
step "sanitizer tests" ctest --test-dir build-asan --output-on-failure -j"$(nproc)" -L logic
