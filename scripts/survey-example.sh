#!/usr/bin/env bash
# Makes the README's survey example: a synthetic night (a walk with the GPS logging every
# 5 s and losing its fix twice, and recordings of bat calls along the way), then draws it
# with `zelkora-tool map --png` and measures it with `calls`. Needs python3 for the data.
# Usage: scripts/survey-example.sh [OUTDIR]   (default: docs)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
tool=build/tools/zelkora-tool/zelkora-tool
[ -x "$tool" ] || scripts/build.sh build >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seq" "$out"

python3 - "$work" <<'PY'
import math, struct, sys
work = sys.argv[1]
# 21:30 to 23:30 local summer time (19:30 to 21:30 UTC) along a wood's edge and a stream.
records = b""
start = (19 * 3600 + 30 * 60) * 1000
for k in range(0, 1440):
    if 400 <= k < 430 or 1000 <= k < 1012:   # fix lost for 150 s and for 60 s
        continue
    s = k / 1440
    lat = 48.1372 + 0.004 * math.sin(2 * math.pi * s) + 0.0006 * math.sin(17 * s)
    lon = 11.5755 + 0.009 * s - 0.003 * math.sin(math.pi * s) ** 2
    records += (b"260612" + struct.pack("<iiii", start + k * 5000, int(lat * 1e6),
                int(lon * 1e6), 520000) + b"=" + bytes([8]) + struct.pack("<HHH", 17, 9, 14)
                + b"\r\n")
open(f"{work}/GPS.zlg", "wb").write(records)
# Recordings every 20 minutes: calls at a species' own frequencies, from where the walk was.
with open(f"{work}/plan.txt", "w") as plan:
    for n, (minute, fstart, fknee, fend, calls) in enumerate(
            [(5, 75, 48, 45, 8), (25, 90, 55, 52, 12), (45, 60, 30, 27, 6), (65, 75, 48, 46, 10),
             (85, 110, 60, 57, 14), (105, 60, 32, 28, 5)]):
        k = minute * 12
        s = k / 1440
        lat = 48.1372 + 0.004 * math.sin(2 * math.pi * s) + 0.0006 * math.sin(17 * s)
        lon = 11.5755 + 0.009 * s - 0.003 * math.sin(math.pi * s) ** 2
        local = 21 * 60 + 30 + minute
        intervals = []
        previous = 0.0
        for c in range(calls):
            t = 0.0
            call = []
            while t < 5500:
                khz = (fstart * 2 ** (t / 1500 * math.log2(fknee / fstart)) if t < 1500
                       else fknee * 2 ** ((t - 1500) / 4000 * math.log2(fend / fknee)))
                iv = round(16e3 / khz / 2)
                call.append(iv)
                t += iv
            intervals.append(20000 if c == 0 else round(95000 - previous))
            intervals.extend(call)
            previous = t
        open(f"{work}/iv{n}.txt", "w").write("\n".join(map(str, intervals)) + "\n")
        plan.write(f"{n} 2026-06-12 {local // 60:02d}:{local % 60:02d}:07 {lat:.5f},{lon:.5f},520\n")
PY

while read -r n day time position; do
    "$tool" encode --ratio 16 --start "$day $time" --position "$position" --dir "$work/seq" \
        <"$work/iv$n.txt" >/dev/null
done <"$work/plan.txt"

TZ=Europe/Berlin "$tool" map "$work/GPS.zlg" "$work/seq" --filter 2 --png "$out/survey-map.png"
"$tool" calls --filter 2 "$work/seq" | head -5
echo "$out/survey-map.png"
