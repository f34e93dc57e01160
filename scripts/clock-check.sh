#!/usr/bin/env bash
# Runs the tests that read the wall clock or the date at awkward moments, with the clock moved
# by faketime: just after midnight, early morning, either side of local noon (when the
# station's night changes) and a minute before midnight, on the days either side of a change
# of summer time in Berlin and on 29 February. Every process of a run sees the same moved
# clock (a constant offset), and the monotonic clocks that time-outs use are left alone.
#
# Usage: scripts/clock-check.sh [ctest -R pattern]   (default: every test that reads the clock)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build

# The test programs that read the clock, or run a command that stamps, names or schedules by it.
pattern=${1:-'(StationCommand|StationSchedule|StationConfig|SolarTimes|GpsCommand|NmeaCommand|RecordWithGps|ReplayIntoLogger|SimulateGps|TrackCommand|ZoneStamps|SystemZone|ClockTest|GpsWindow|ReplayCommand|SimulateModule|RecordCommand|LiveRecordingWindow|ImportCommand|CallsCommand|MapCommand|EncodeCommand|InfoCommand|LsCommand|ZelkoraDoc|SequenceNaming|SequenceSaver|JulianTime)\.'}

zone=Europe/Berlin
# The days either side of Berlin's change to summer time (28 March 2027), and a leap day.
days=(2027-03-27 2027-03-29 2028-02-29)
hours=(00:30 06:00 11:59 12:01 23:59)

export QT_QPA_PLATFORM=offscreen FAKETIME_DONT_FAKE_MONOTONIC=1
failed=()
runs=0
for day in "${days[@]}"; do
    for hour in "${hours[@]}"; do
        target=$(TZ=$zone date -d "$day $hour:00" +%s)
        offset=$((target - $(date +%s)))
        runs=$((runs + 1))
        echo "== $day $hour $zone"
        shift_by="${offset}s"
        [ "$offset" -lt 0 ] || shift_by="+$shift_by"
        if ! TZ=$zone faketime -f "$shift_by" \
            ctest --test-dir build -R "$pattern" -j"$(nproc)" --output-on-failure \
            >"build/clock-check-$day-${hour/:/}.log" 2>&1; then
            failed+=("$day $hour")
            tail -40 "build/clock-check-$day-${hour/:/}.log"
        fi
        grep -E 'tests passed' "build/clock-check-$day-${hour/:/}.log" || true
    done
done

echo "clock-check: $((runs - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ] || { printf 'failed at %s\n' "${failed[@]}"; exit 1; }
