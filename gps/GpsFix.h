#pragma once
#include <array>
#include <cstdint>

#include "sequence/JulianTime.h"

// The value every double of a fix holds while the receiver has not reported it. Readers
// test for it rather than for zero, which is a legitimate position, altitude or speed.
inline constexpr double kGpsNotReported = -1000.0;

struct GpsSatellite {
    int32_t prn = -1;  // -1: empty entry
    double elevation = kGpsNotReported;
    double azimuth = kGpsNotReported;
    double snr = kGpsNotReported;
};

// One fix record. The receiver keeps two: the one readers use and the one being parsed.
struct GpsFix {
    static constexpr int32_t kMaxSatellites = 32;

    JulianTime ggaTime;   // UTC time of day of the last accepted GGA
    int32_t quality = 0;  // GGA fix quality
    int32_t satellitesUsed = 0;
    double latitude = kGpsNotReported;   // degrees, north positive
    double longitude = kGpsNotReported;  // degrees, east positive
    double altitude = kGpsNotReported;   // metres above mean sea level
    double geoidSeparation = kGpsNotReported;
    JulianTime receivedAt;     // the device's local clock when the last GGA was accepted
    JulianTime receivedAtUtc;  // the same moment on the device clock in UTC
    int32_t fixType = 1;       // GSA mode: 1 none, 2 2D, 3 3D
    double pdop = kGpsNotReported;
    double hdop = kGpsNotReported;
    double vdop = kGpsNotReported;
    JulianTime rmcDateTime;           // UTC date and time of the last accepted RMC
    double speed = kGpsNotReported;   // knots
    double course = kGpsNotReported;  // degrees
    // Current record: listed satellites with a signal above 0. Work record: the GSV count.
    int32_t satellitesInView = 0;
    int32_t satelliteCount = 0;  // valid entries in `satellites`
    std::array<GpsSatellite, kMaxSatellites> satellites{};
};
