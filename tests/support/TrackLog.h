#pragma once
// GPS track files (GPS.zlg) made record by record, as the logger writes them.
#include <array>
#include <fstream>
#include <string>

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

inline void appendTrackRecord(std::ofstream& out, const TrackRecord& r) {
    std::array<uint8_t, TrackRecord::kSize> bytes{};
    r.encode(bytes);
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace testing_support
