#pragma once
#include <cstdint>
#include <optional>

// Sunrise and sunset for a place, as the almanacs give them: the moment the sun's upper limb
// touches a level horizon, seen through the standard atmosphere.
namespace solar {

// The sun's centre stands this far from the zenith at sunrise and sunset: 90° plus 34' of
// refraction at the horizon and 16' for the semidiameter of the sun's disc.
inline constexpr double kHorizonZenithDegrees = 90.833;

struct SunEvents {
    // Seconds since 1970-01-01 00:00 UTC; empty when the sun does not rise (or set) that day.
    std::optional<int64_t> sunrise;
    std::optional<int64_t> sunset;
};

// The sunrise and sunset of one solar day at a place (latitude north positive, longitude east
// positive, degrees). `day` counts days since 1970-01-01: the solar day is the one whose mean
// noon at that longitude falls at 12:00 of that UTC day minus four minutes per degree east.
SunEvents sunEvents(int64_t day, double latitude, double longitude);

// The solar day (as above) whose mean noon lies nearest to `utcSeconds`.
int64_t solarDayNearest(int64_t utcSeconds, double longitude);

}  // namespace solar
