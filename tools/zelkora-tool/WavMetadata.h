#pragma once
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "sequence/JulianTime.h"

namespace tool {

// A date and time read from a recording's metadata: the recorder's wall-clock fields and,
// when the metadata says so, their offset from UTC.
struct RecordedTime {
    JulianTime wall;                       // the fields as written, as a JulianTime
    std::optional<int32_t> offsetMinutes;  // wall − UTC; none when the zone is not given
};

// What the import takes from a WAV file's own chunks.
struct WavMetadata {
    std::string guan;     // the text of the `guan` chunk ("Key:Value" lines), if any
    std::string comment;  // the ICMT entry of the LIST/INFO chunk, if any
    // The frames the `data` chunk's size promises; -1 when there is no such chunk, no
    // format to count by, or the size is the "unknown" a recorder writes while streaming.
    int64_t promisedFrames = -1;
};

// Reads the `guan` chunk and the INFO comment from a RIFF/WAVE file, wherever they lie
// (recorders often append them after the audio); the audio itself is skipped, not read. A
// truncated or malformed chunk ends the walk; what was found before it is kept.
WavMetadata readWavMetadata(std::istream& in);

// The value of `key` in a `guan` text ("" when absent), trimmed.
std::string guanValue(std::string_view guan, std::string_view key);

// "YYYY-MM-DD[T ]hh:mm:ss[.ffffff][Z|±hh[:mm]]"; nullopt for anything else or an impossible
// date.
std::optional<RecordedTime> parseIsoTime(std::string_view text);

// A recorder's comment "Recorded at hh:mm:ss DD/MM/YYYY (UTC[±h[h][:mm]])", whose day-first
// order is fixed by that pattern; nullopt for any other text, so that no date of doubtful
// order is taken.
std::optional<RecordedTime> parseRecorderComment(std::string_view comment);

// A recorder's date and time in a file name, "YYYYMMDD_HHMMSS" or "YYYYMMDD-HHMMSS" anywhere
// in it, with no digit right before or after; nullopt when there is none or it is no real
// date and time.
std::optional<JulianTime> parseFileNameTime(std::string_view name);

// "LAT LON" (or "LAT,LON") in decimal degrees, within ±90 / ±180.
bool parseLatLon(std::string_view text, double& latitude, double& longitude);

}  // namespace tool
