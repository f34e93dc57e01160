#!/usr/bin/env bash
# A long live recording in the window, as a user would watch it: the module simulator plays
# its busiest night on a pseudo-terminal, the window records it in Monitor mode on a display
# (a virtual one when there is none), and after MINUTES the session ends with SIGTERM as a
# logout would end it. Then it reports whether the live display ever fell behind ("Waste"),
# the slowest display tick, the CPU of each of the window's threads, and checks that every
# file written is an unbroken stretch of what the simulator sent.
# With "full", the simulator sends noise that fills the line instead, at about 5 000 intervals
# a second, to show the display keeps up with the module's full rate.
# Usage: scripts/live-check.sh [MINUTES] [full]   (default 10; not part of the test suite)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
mix=night
[ "${2:-}" = full ] && mix=noise
for need in Xvfb:xvfb xdotool:xdotool xdpyinfo:x11-utils import:imagemagick; do
    command -v "${need%%:*}" >/dev/null || { echo "live-check needs the Debian package ${need#*:}"; exit 1; }
done
scripts/build.sh build >/dev/null

tool=$PWD/build/tools/zelkora-tool/zelkora-tool
out=${ZELKORA_CHECK_DIR:-$PWD/out/live-check-$mix}
rm -rf "$out"
mkdir -p "$out/night" "$out/config/Chirova"
export XDG_CONFIG_HOME=$out/config
printf '[Zelkora]\nGPath=%s/\n' "$out/night" >"$out/config/Chirova/zelkora.ini"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=$out/runtime
    mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
fi

pids=()
cleanup() { for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
    Xvfb :87 -screen 0 1920x1080x24 -nolisten tcp >"$out/xvfb.txt" 2>&1 &
    pids+=($!)
    export DISPLAY=:87
    sleep 1
fi
unset QT_QPA_PLATFORM

# The busiest night: bats as often as the simulator plays them, and its noise at the
# highest load it offers, so that the line is full whenever no pass is on.
"$tool" simulate-module --seed 11 --mix "$mix" --calls-per-second 10 --noise-load 95 \
    --log "$out/sent.txt" >"$out/simulator.txt" &
simulator=$!
pids+=("$simulator")
for _ in $(seq 50); do [ -s "$out/simulator.txt" ] && break; sleep 0.1; done
port_line=$(head -1 "$out/simulator.txt")
port=${port_line%%:*}
port=${port#COM}

build/platform/zelkora --record-monitor "$port" 2>"$out/zelkora.txt" &
window=$!
pids+=("$window")
# The window fills the screen, as on a field board (a virtual display has no window manager
# to do it).
if command -v xdotool >/dev/null; then
    size=$(xdpyinfo 2>/dev/null | awk '/dimensions:/ {print $2}')
    xdotool search --sync --onlyvisible --pid "$window" | head -1 |
        xargs -I{} xdotool windowmove {} 0 0 windowsize {} "${size%x*}" "${size#*x}" || true
fi
echo "recording live for $minutes minute(s) on $DISPLAY, module simulator on $port_line"
sleep $((minutes * 60 / 2))
import -window root "$out/screen.png" 2>/dev/null || true
sleep $((minutes * 60 - minutes * 60 / 2))

# CPU per thread, in clock ticks since each began, read before the window ends.
ticks=$(getconf CLK_TCK)
for task in /proc/"$window"/task/*; do
    read -r -a f <"$task/stat"
    echo "$(basename "$task") $(( (f[13] + f[14]) )) $(cat "$task/comm")"
done >"$out/threads.txt"
kill -TERM "$window"
wait "$window" || true
echo "thread CPU over $minutes minute(s) (% of one core):"
awk -v t="$ticks" -v s=$((minutes * 60)) '{printf "  %-8s %-16s %6.2f %%\n", $1, $3, 100*$2/t/s}' \
    "$out/threads.txt"
grep "live display" "$out/zelkora.txt" || { cat "$out/zelkora.txt"; exit 1; }
# The simulator's log is complete only once it has ended.
kill -TERM "$simulator"
wait "$simulator" || true
if [ "$mix" = noise ]; then
    # Monitor mode keeps passes only, and noise is never taken for one.
    echo "files written from noise alone: $(ls "$out/night" | wc -l) (none expected)"
else
    "$tool" check-sent --log "$out/sent.txt" "$out/night"
fi
grep -q " 0 Waste," "$out/zelkora.txt"
