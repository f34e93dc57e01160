#!/usr/bin/env bash
# Installs, builds and shows the recorder's main job on a machine without a detector: the
# module simulator plays a night of bat passes on a pseudo-terminal and Zelkora records it in
# Monitor mode. With a display, the window records live and the calls arrive on screen until
# it is closed; without one, the recorder runs headless for about 30 seconds. Then the
# sequence files written are listed and the newest is drawn.
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

display=${DISPLAY:-}${WAYLAND_DISPLAY:-}
if [ -n "$display" ]; then
    # A settings file of the demo's own, so that the files go to $night and the user's
    # settings stay as they are.
    mkdir -p "$out/config/Chirova"
    printf '[Zelkora]\nGPath=%s/\n' "$night" >"$out/config/Chirova/zelkora.ini"
    echo "the window records live in Monitor mode; tap the live word (or press F1) to stop,"
    echo "close the window to end the demo"
    XDG_CONFIG_HOME=$out/config build/platform/zelkora --record-monitor "$port"
else
    echo "recording in Monitor mode for $seconds seconds..."
    "$tool" record --port "$port" --monitor --seconds "$seconds" --dir "$night"
fi
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

# The newest file as the viewer draws it, headless.
newest=${files[-1]}
echo "first dots of $newest:"
"$tool" export "$night/$newest" | sed -n 1,6p
QT_QPA_PLATFORM=offscreen "$tool" render "$night/$newest" --png "$out/newest.png" --mode comp \
    --size 800x480
echo "picture of $newest: $out/newest.png"
