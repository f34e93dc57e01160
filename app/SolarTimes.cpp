#include "app/SolarTimes.h"

#include <cmath>
#include <numbers>

// The equations are those of the NOAA solar calculator (NOAA Global Monitoring Laboratory,
// "General Solar Position Calculations" and the calculator's spreadsheet), which abridge
// J. Meeus, "Astronomical Algorithms" (Willmann-Bell, 1991), chapters 24 and 27: the sun's
// apparent longitude and declination and the equation of time as series in Julian centuries
// since J2000.0. Sunrise and sunset follow the sunrise equation with the sun's centre at the
// zenith distance 90.833°. Declination and equation of time are taken at the moment of the
// event itself, found by repeating the step from the previous estimate, which keeps the
// error within a few seconds outside the polar circles (the NOAA notes give about a minute
// between ±72° latitude for the one-step version).

namespace solar {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int kSteps = 4;

struct SunState {
    double declination = 0.0;     // radians
    double equationOfTime = 0.0;  // minutes: apparent minus mean solar time
};

SunState sunAt(double utcSeconds) {
    const double julianDay = utcSeconds / kSecondsPerDay + 2440587.5;
    const double t = (julianDay - 2451545.0) / 36525.0;  // Julian centuries since J2000.0
    const double meanLongitude = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
    const double meanAnomaly = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double m = meanAnomaly * kDegree;
    const double centre = std::sin(m) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          std::sin(2 * m) * (0.019993 - 0.000101 * t) + std::sin(3 * m) * 0.000289;
    const double omega = (125.04 - 1934.136 * t) * kDegree;
    const double apparentLongitude =
        (meanLongitude + centre - 0.00569 - 0.00478 * std::sin(omega)) * kDegree;
    const double meanObliquity =
        23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    const double obliquity = (meanObliquity + 0.00256 * std::cos(omega)) * kDegree;

    SunState s;
    s.declination = std::asin(std::sin(obliquity) * std::sin(apparentLongitude));
    const double y = std::pow(std::tan(obliquity / 2), 2);
    const double l0 = meanLongitude * kDegree;
    s.equationOfTime =
        4.0 / kDegree *
        (y * std::sin(2 * l0) - 2 * eccentricity * std::sin(m) +
         4 * eccentricity * y * std::sin(m) * std::cos(2 * l0) - 0.5 * y * y * std::sin(4 * l0) -
         1.25 * eccentricity * eccentricity * std::sin(2 * m));
    return s;
}

// Seconds of UTC at the mean noon of `day` at `longitude`.
double meanNoon(int64_t day, double longitude) {
    return static_cast<double>(day * kSecondsPerDay + kSecondsPerDay / 2) - longitude * 240.0;
}

// The event on `day`: rising (sign -1) or setting (+1); empty when the sun stays above or
// below the horizon.
std::optional<int64_t> event(int64_t day, double latitude, double longitude, int sign) {
    const double phi = latitude * kDegree;
    const double noon = meanNoon(day, longitude);
    double at = noon;
    for (int step = 0; step < kSteps; ++step) {
        const SunState s = sunAt(at);
        const double cosH =
            std::cos(kHorizonZenithDegrees * kDegree) / (std::cos(phi) * std::cos(s.declination)) -
            std::tan(phi) * std::tan(s.declination);
        if (!(cosH >= -1.0 && cosH <= 1.0)) return std::nullopt;
        const double hourAngle = std::acos(cosH) / kDegree;  // degrees, 4 minutes each
        at = noon - s.equationOfTime * 60.0 + sign * hourAngle * 240.0;
    }
    return static_cast<int64_t>(std::llround(at));
}

}  // namespace

SunEvents sunEvents(int64_t day, double latitude, double longitude) {
    return {event(day, latitude, longitude, -1), event(day, latitude, longitude, +1)};
}

int64_t solarDayNearest(int64_t utcSeconds, double longitude) {
    const double days =
        (static_cast<double>(utcSeconds) - kSecondsPerDay / 2 + longitude * 240.0) / kSecondsPerDay;
    return static_cast<int64_t>(std::llround(days));
}

}  // namespace solar
