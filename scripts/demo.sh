#!/usr/bin/env bash
# Installs, builds and shows the recorder's main job on a machine without a detector: a
# synthetic call sequence is encoded into a sequence file, which is then read back.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build

out=${ZELKORA_DEMO_DIR:-$PWD/out/demo}
mkdir -p "$out"
tool=build/tools/zelkora-tool/zelkora-tool

# Three frequency-modulated calls sweeping from about 60 kHz down to 35 kHz, 80 ms apart,
# as the intervals (µs) of the detector's output divided by 16.
intervals() {
    for call in 1 2 3; do
        for i in $(seq 0 39); do
            khz=$((60 - i * 25 / 40))
            echo $((16 * 1000 / khz / 2))
        done
        echo 80000
    done
}
file=$(intervals | "$tool" encode --ratio 16 --start "$(date '+%Y-%m-%d %H:%M:%S')" \
    --position "52.5163,13.3777,34" --dir "$out")
echo "wrote $file"
"$tool" info "$file"
"$tool" export "$file" | head -8
echo "..."
echo "sequence files in $out:"
"$tool" ls "$out"

# The viewer's picture of the newest file, drawn headless; with a display, the viewer too.
newest=$("$tool" ls "$out" | tail -1)
"$tool" render "$out/$newest" --png "$out/newest.png" --mode comp
echo "picture of $newest: $out/newest.png"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    build/platform/zelkora "$out/$newest" &
fi
