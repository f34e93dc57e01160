#!/usr/bin/env bash
# Draws the README's pictures of the window on an 800 x 480 screen: the program itself, on
# the offscreen platform, driven by its end-to-end touch tests (the live display records
# from the module simulator). Usage: scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build >/dev/null
ZELKORA_SCREENSHOTS="$PWD/docs" build/tests/display/test_touch_window >/dev/null
# The map after Connect, drawn from a receiver replaying a real capture (../shared/data/nmea).
ZELKORA_SCREENSHOTS="$PWD/docs" build/tests/display/test_gps_window >/dev/null
# A recording from the module simulator, then the file it saved (in compressed time).
ZELKORA_SCREENSHOTS="$PWD/docs" QT_QPA_PLATFORM=offscreen \
    build/tests/tools/LiveRecordingWindowTest >/dev/null
echo "docs/main-view.png docs/files-menu.png docs/live-view.png docs/gps-map.png docs/viewer.png"
