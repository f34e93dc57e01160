#!/usr/bin/env bash
# Installs, builds and shows the recorder's main job on a machine without a detector: the
# module simulator plays a night of bat passes on a pseudo-terminal, Zelkora records it in
# Monitor mode for about 30 seconds, lists the sequence files it wrote and draws the newest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build

tool=$PWD/build/tools/zelkora-tool/zelkora-tool
out=${ZELKORA_DEMO_DIR:-$PWD/out/demo}
night=$out/night
seconds=${ZELKORA_DEMO_SECONDS:-30}
rm -rf "$night"
mkdir -p "$night"

# The simulator registers its port in the user's run-time folder; a root shell may have none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=$out/runtime
    mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
fi

"$tool" simulate-module --seed 7 --calls-per-second 6 --log "$out/sent-intervals.txt" >"$out/simulator.txt" &
simulator=$!
trap 'kill -TERM $simulator 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -s "$out/simulator.txt" ] && break
    sleep 0.1
done
port_line=$(head -1 "$out/simulator.txt")
port=${port_line%%:*}
port=${port#COM}
echo "module simulator on $port_line"
"$tool" ports

echo "recording in Monitor mode for $seconds seconds..."
"$tool" record --port "$port" --monitor --seconds "$seconds" --dir "$night"
kill -TERM $simulator
wait $simulator || true
trap - EXIT

echo
echo "sequence files in $night:"
"$tool" ls "$night"
echo
mapfile -t files < <("$tool" ls "$night")
if [ ${#files[@]} -eq 0 ]; then
    echo "no bat pass was recorded; run again for a longer night (ZELKORA_DEMO_SECONDS=60)"
    exit 0
fi
for f in "${files[@]}"; do "$tool" info "$night/$f"; echo; done

# The newest file as the viewer draws it, headless; with a display, the viewer itself.
newest=${files[-1]}
echo "first dots of $newest:"
"$tool" export "$night/$newest" | sed -n 1,6p
QT_QPA_PLATFORM=offscreen "$tool" render "$night/$newest" --png "$out/newest.png" --mode comp \
    --size 800x480
echo "picture of $newest: $out/newest.png"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    build/platform/zelkora "$night/$newest" &
fi
