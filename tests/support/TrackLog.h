#pragma once
// GPS track files (GPS.zlg) made record by record, as the logger writes them.
#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "gps/TrackRecord.h"

namespace testing_support {

// A 3D fix `seconds` after 20:10:00 UTC on 12 June 2026.
inline TrackRecord trackRecordAt(int seconds, int32_t latitudeE6, int32_t longitudeE6) {
    TrackRecord r;
    r.year = 2026;
    r.month = 6;
    r.day = 12;
    r.timeMs = (20 * 3600 + 10 * 60 + seconds) * 1000;
    r.latitudeE6 = latitudeE6;
    r.longitudeE6 = longitudeE6;
    r.status = '=';
    return r;
}

inline void appendTrackRecord(std::ostream& out, const TrackRecord& r) {
    std::array<uint8_t, TrackRecord::kSize> bytes{};
    r.encode(bytes);
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A track file with a record for each of `seconds` after 20:10:00 UTC on 12 June 2026, in
// the order given, at 520 m moving north 1e-5 degree a second.
inline void writeTrack(const std::string& path, const std::vector<int>& seconds) {
    std::ofstream out(path, std::ios::binary);
    for (int s : seconds) {
        TrackRecord r = trackRecordAt(s, 48123400 + 10 * s, -11567800);
        r.altitudeMm = 520000;
        appendTrackRecord(out, r);
    }
}

}  // namespace testing_support
