#!/usr/bin/env bash
# Builds the libFuzzer targets of the file and stream parsers straight from their logic
# sources (no Qt, no CMake) and runs each for SECONDS (default 30) from a seeded corpus.
# Fails when a target crashes; the crashing input is kept under build-fuzz/artifacts/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(SequenceDecoderFuzz StreamDecoderFuzz GpsReceiverFuzz TrackRecordFuzz)

cxx=${FUZZ_CXX:-clang++-14}
out=build-fuzz
mkdir -p "$out/artifacts"
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -I. -Wall -Wextra -Werror)
# vptr checks want the type info of every class met, the serial port's included, which would
# drag its platform code in; the parsers here hold no class hierarchy worth checking.
fuzzflags=(-fsanitize=fuzzer,address,undefined -fno-sanitize=vptr -fno-sanitize-recover=undefined)

# The logic sources each target needs besides its own file.
declare -A sources=(
    [SequenceDecoderFuzz]="sequence/SequenceFormat.cpp sequence/PositionBlock.cpp sequence/JulianTime.cpp platform/posix/LocalClock.cpp"
    [StreamDecoderFuzz]="acquisition/StreamDecoder.cpp fuzz/LinkStubs.cpp"
    [GpsReceiverFuzz]="gps/GpsReceiver.cpp sequence/JulianTime.cpp platform/posix/LocalClock.cpp"
    [TrackRecordFuzz]="gps/TrackRecord.cpp sequence/JulianTime.cpp platform/posix/LocalClock.cpp"
)

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT

# Seeds: sequence and track files from the test data builders, the module stream as the
# simulator's wire encoding would carry it, and the real NMEA captures when they are there.
mkdir -p "$corpus"/{SequenceDecoderFuzz,StreamDecoderFuzz,GpsReceiverFuzz,TrackRecordFuzz}
"$cxx" "${flags[@]}" -Itests fuzz/SeedCorpus.cpp sequence/SequenceFormat.cpp \
    sequence/PositionBlock.cpp sequence/JulianTime.cpp platform/posix/LocalClock.cpp \
    gps/TrackRecord.cpp -o "$out/SeedCorpus"
"$out/SeedCorpus" "$corpus/SequenceDecoderFuzz" "$corpus/TrackRecordFuzz"
printf '\x47\x81\x01\x85\x02\x80\x80\x80\x90\x03\x80\xff\x80\x80\x81hello\x00\xa0\x01' \
    >"$corpus/StreamDecoderFuzz/stream"
nmea=../shared/data/nmea
if compgen -G "$nmea/*.log" >/dev/null; then
    for f in "$nmea"/*.log; do
        # Whole captures are long; the fuzzer works best on pieces of a few kilobytes.
        split -b 4096 -a 3 "$f" "$corpus/GpsReceiverFuzz/$(basename "$f" .log)-"
    done
else
    echo "fuzz: $nmea absent, the NMEA receiver starts from one sentence"
    printf '$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n' \
        >"$corpus/GpsReceiverFuzz/gga"
fi

status=0
passed=0
failed=0
for t in "${targets[@]}"; do
    # shellcheck disable=SC2086
    "$cxx" "${flags[@]}" "${fuzzflags[@]}" "fuzz/$t.cpp" ${sources[$t]} -o "$out/$t"
    echo "fuzz: $t for $seconds s"
    if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 "$out/$t" "$corpus/$t" \
        -max_total_time="$seconds" -max_len=33000 -print_final_stats=1 \
        -artifact_prefix="$out/artifacts/$t-" 2>"$out/$t.log"; then
        tail -n 60 "$out/$t.log"
        echo "fuzz: $t FAILED, input kept in $out/artifacts/"
        status=1
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
    grep -E '^stat::number_of_executed_units' "$out/$t.log" | sed "s/^/fuzz: $t /" || true
done
echo "fuzz: $passed passed, $failed failed"
exit $status
