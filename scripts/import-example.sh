#!/usr/bin/env bash
# Draws the README's picture of an imported full-spectrum recording: synthesizes two seconds
# of a bat passing a 384 kHz recorder (hockey-stick calls from 80 down to 46 kHz, faint hiss,
# a guan chunk with time and place), imports it and renders the sequence file.
# Usage: scripts/import-example.sh (needs python3 for the synthesis)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/pass.wav" <<'PY'
import math, random, struct, sys
rate, seconds = 384000, 2.0
random.seed(3)
out = bytearray()
phase = 0.0
for i in range(int(rate * seconds)):
    t = i / rate
    u = (t - 0.05) % 0.085          # a call every 85 ms
    level = 0.0
    if t > 0.05 and u < 0.006:      # 6 ms: a steep sweep bending into a flat tail
        f = 46000 + 34000 * math.exp(-u / 0.0012)
        phase += 2 * math.pi * f / rate
        approach = 0.2 + 0.8 * math.sin(math.pi * t / seconds)   # the bat comes and goes
        level = 0.4 * approach * math.sin(math.pi * u / 0.006) * math.sin(phase)
    s = level + random.gauss(0, 0.002)
    out += struct.pack('<h', max(-32768, min(32767, int(s * 32767))))
def chunk(tag, body):
    return tag + struct.pack('<I', len(body)) + body + (b'\0' if len(body) % 2 else b'')
guan = (b'GUANO|Version:1.0\nTimestamp:2024-06-01 21:13:05+01:00\n'
        b'Loc Position:52.2053 0.1218\nLoc Elevation:12\n')
fmt = struct.pack('<HHIIHH', 1, 1, rate, rate * 2, 2, 16)
body = b'WAVE' + chunk(b'fmt ', fmt) + chunk(b'data', bytes(out)) + chunk(b'guan', guan)
open(sys.argv[1], 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)
PY
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen TZ=Europe/London
file=$(build/tools/zelkora-tool/zelkora-tool import "$work/pass.wav" --dir "$work/out" | head -1)
build/tools/zelkora-tool/zelkora-tool render "$file" --png docs/imported-wav.png --size 800x480 \
    --mode all --fmin 20 --fmax 100 --lin
echo docs/imported-wav.png
