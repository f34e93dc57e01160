// Any 32 bytes as a record of the GPS track file. A record that decodes must encode back to
// one that decodes to the same values, or the map would show a different track on each read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "gps/TrackRecord.h"

namespace {

bool sameValues(const TrackRecord& a, const TrackRecord& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.timeMs == b.timeMs &&
           a.latitudeE6 == b.latitudeE6 && a.longitudeE6 == b.longitudeE6 &&
           a.altitudeMm == b.altitudeMm && a.status == b.status && a.satellites == b.satellites &&
           a.pdop10 == b.pdop10 && a.hdop10 == b.hdop10 && a.vdop10 == b.vdop10;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader walks the file record by record; a short tail is not a record.
    for (size_t at = 0; at + TrackRecord::kSize <= size; at += TrackRecord::kSize) {
        TrackRecord record;
        if (!record.decode(
                std::span<const uint8_t, TrackRecord::kSize>(data + at, TrackRecord::kSize)))
            continue;
        uint8_t again[TrackRecord::kSize];
        record.encode(again);
        TrackRecord reread;
        if (!reread.decode(again) || !sameValues(record, reread)) std::abort();
    }
    return 0;
}
