#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// When the unattended station records: from sunset to the next sunrise at its position,
// each moved by an offset, or between fixed hours of the local clock where the sun gives no
// night (polar day and polar night) or no position is known.
//
// Times are seconds since 1970-01-01 00:00 UTC; days count from that date. The local clock
// is described by its offset from UTC at each instant (summer time included), so that the
// caller decides which zone is meant and tests can pin it.
namespace station {

// The local clock's offset from UTC (local minus UTC, seconds) at a UTC instant.
using UtcOffsetAt = std::function<int64_t(int64_t utcSeconds)>;

struct Position {
    double latitude = 0.0;   // degrees, north positive
    double longitude = 0.0;  // degrees, east positive
};

struct SchedulePlan {
    int64_t sunsetOffset = 0;        // seconds added to sunset (negative: earlier)
    int64_t sunriseOffset = 0;       // seconds added to sunrise
    int32_t fixedStart = 20 * 3600;  // seconds after local midnight
    int32_t fixedStop = 6 * 3600;    // the next morning when not after fixedStart
};

// The sunset of one local date and the sunrise of the morning after; empty where the sun
// does not set (or rise).
struct SunNight {
    std::optional<int64_t> sunset;
    std::optional<int64_t> sunrise;
};

struct Night {
    int64_t localDay = 0;  // the evening's local date
    SunNight sun;          // empty without a position
    int64_t start = 0;     // the recording window [start, stop)
    int64_t stop = 0;
    bool fixedHours = false;
};

// What the station does at a moment: record until `until`, or wait until then.
struct Decision {
    bool record = false;
    int64_t until = 0;
    Night night;  // the night recorded or waited for
};

SunNight sunNight(int64_t localDay, const Position& where, const UtcOffsetAt& offsetAt);
Night nightOf(int64_t localDay, const std::optional<Position>& where, const SchedulePlan& plan,
              const UtcOffsetAt& offsetAt);
Decision decide(int64_t now, const std::optional<Position>& where, const SchedulePlan& plan,
                const UtcOffsetAt& offsetAt);

// The local date at `utc`.
int64_t localDayAt(int64_t utc, const UtcOffsetAt& offsetAt);
// The local date of the evening a moment belongs to: a night runs from local noon to the
// next local noon, so 02:00 belongs to the evening before.
int64_t eveningDayAt(int64_t utc, const UtcOffsetAt& offsetAt);
// The UTC instant of `secondOfDay` on the local date `day`.
int64_t utcOfLocal(int64_t day, int64_t secondOfDay, const UtcOffsetAt& offsetAt);

// "YYYY-MM-DD" of a day; the day of such a text (nullopt when it is not a real date).
std::string dateText(int64_t day);
std::optional<int64_t> parseDate(const std::string& text);
// "YYYY-MM-DDThh:mm:ssZ".
std::string utcText(int64_t utc);
// "hh:mm" or "hh:mm:ss" as seconds after midnight.
std::optional<int32_t> parseClockTime(const std::string& text);

}  // namespace station
