#!/usr/bin/env bash
# Soak test of the field station (not part of CI). Usage: scripts/soak.sh HOURS
#
# Runs the module simulator at its busiest night (bats at 10 calls a second, noise stretches
# filling 95 % of the line, the most it takes) into `zelkora-tool station --now` for HOURS
# (fractions allowed), samples the station's resident memory and CPU time from /proc every
# minute, then checks with `zelkora-tool check-sent` that every file written is an unbroken
# stretch of what the simulator sent. Prints a summary; exits 1 when a file is broken or the
# station failed. Uses the build in $BUILD (default: build); keeps the work folder when
# $KEEP is set.
set -euo pipefail
cd "$(dirname "$0")/.."
hours=${1:?usage: scripts/soak.sh HOURS}
build=${BUILD:-build}
tool=$build/tools/zelkora-tool/zelkora-tool
[[ -x $tool ]] || { echo "soak: build first (scripts/build.sh $build)" >&2; exit 1; }
seconds=$(awk -v h="$hours" 'BEGIN { s = int(h * 3600); if (s < 60) s = 60; print s }')

work=$(mktemp -d /tmp/zelkora-soak-XXXXXX)
sim=
station=
cleanup() {
    [[ -n $station ]] && kill "$station" 2>/dev/null || true
    [[ -n $sim ]] && kill "$sim" 2>/dev/null || true
    wait 2>/dev/null || true
    [[ -n ${KEEP:-} ]] && echo "soak: work folder kept: $work" || rm -rf "$work"
}
trap cleanup EXIT

# A private runtime folder (the virtual port registry) and settings of their own.
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config HOME=$work/home
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Chirova" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[Zelkora]\n' >"$XDG_CONFIG_HOME/Chirova/zelkora.ini"

"$tool" simulate-module --mix night --calls-per-second 10 --noise-load 95 --seed 1 \
    --log "$work/sim.log" >"$work/sim.out" 2>"$work/sim.err" &
sim=$!
for _ in $(seq 50); do [[ -s $work/sim.out ]] && break; sleep 0.1; done
port=$(sed -n '1s/^COM\([0-9]*\):.*/\1/p' "$work/sim.out")
[[ -n $port ]] || { echo "soak: the simulator did not start" >&2; exit 1; }

echo "soak: station on simulated port $port for $seconds s; samples every 60 s"
"$tool" station --now --port "$port" --dir "$work/out" --seconds "$seconds" \
    >"$work/station.out" 2>"$work/station.err" &
station=$!
ticks=$(getconf CLK_TCK)

# RSS in kB and CPU ticks (user + system) of the station.
sample() {
    local rss cpu
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$station/status" 2>/dev/null) || return 1
    cpu=$(awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$station/stat" 2>/dev/null) || return 1
    [[ -n $rss && -n $cpu ]] || return 1
    echo "$(date +%s) $rss $cpu"
}

sleep 5
: >"$work/samples"
while kill -0 "$station" 2>/dev/null; do
    if s=$(sample); then
        echo "$s" >>"$work/samples"
        read -r t rss cpu <<<"$s"
        printf 'soak: %s rss=%d kB cpu=%.1f s\n' "$(date -u +%H:%M:%S)" "$rss" \
            "$(awk -v c="$cpu" -v k="$ticks" 'BEGIN { print c / k }')"
    fi
    for _ in $(seq 60); do kill -0 "$station" 2>/dev/null || break; sleep 1; done
done
status=0
wait "$station" || status=$?
station=
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
sim=

# One folder per night; a run across local noon has two.
result=$("$tool" check-sent --log "$work/sim.log" "$work"/out/*/) && checked=0 || checked=$?
echo "$result" | sed 's/^/soak: /'
bytes=$(find "$work/out" -name '*#' -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
echo "soak: bytes=$bytes"

awk -v k="$ticks" -v st="$status" '
    NR == 1 { t0 = $1; c0 = $3; first = $2; max = $2 }
    { t1 = $1; c1 = $3; last = $2; if ($2 > max) max = $2 }
    END {
        printf "soak: samples=%d rss_kB first=%d last=%d max=%d (growth %+d kB)\n", NR, first,
            last, max, last - first
        if (t1 > t0) {
            cpu = 100 * (c1 - c0) / k / (t1 - t0)
            printf "soak: cpu=%.2f %% of a core over %d s (%s 5 %%)\n", cpu, t1 - t0,
                cpu < 5 ? "under" : "NOT under"
        }
        printf "soak: station exit status %d\n", st
    }' "$work/samples"
[[ $status -eq 0 && $checked -eq 0 ]]
