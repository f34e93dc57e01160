#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "gps/GpsFix.h"
#include "sequence/JulianTime.h"

// One 32-byte record of the GPS track file "GPS.zlg" (no header; little-endian):
//   0  2  year - 2000, two ASCII digits      6  4  time of day, milliseconds
//   2  2  month, two ASCII digits           10  4  latitude  x 1 000 000 (truncated)
//   4  2  day, two ASCII digits             14  4  longitude x 1 000 000 (truncated)
//  18  4  altitude in millimetres           22  1  '0' + status code
//  23  1  satellites used (low 8 bits)      24  2  PDOP x 10, 26 2 HDOP x 10, 28 2 VDOP x 10
//  30  2  CR LF
// The year field holds the year modulo 100, so a clock outside 2000-2099 (an unset clock
// reading 1970, say) still gives two digits and never spills into the month.
// Dilution fields are unsigned: DOP x 10 truncated and held to 0..65534; the value 65535
// (kDopNotReported) marks a dilution the receiver never reported.
struct TrackRecord {
    static constexpr size_t kSize = 32;
    static constexpr uint16_t kDopNotReported = 0xFFFF;

    int32_t year = 2000;  // as read back: 2000 + the two digits
    int32_t month = 1;
    int32_t day = 1;
    int32_t timeMs = 0;
    int32_t latitudeE6 = 0;
    int32_t longitudeE6 = 0;
    int32_t altitudeMm = 0;
    char status = '0';
    uint8_t satellites = 0;
    uint16_t pdop10 = kDopNotReported;
    uint16_t hdop10 = kDopNotReported;
    uint16_t vdop10 = kDopNotReported;

    // The status code of a receiver validity: 4 + 8 for 3D + 2 differential or 1 plain.
    static int32_t statusCode(uint32_t validity);
    static uint16_t dopField(double dop);
    // Degrees (or metres) x 1 000 000 (x 1000) truncated toward zero, held to 32 bits.
    static int32_t scaled(double value, double factor);

    // The record for a fix logged at `logTime` (the device clock expressed in UTC).
    static TrackRecord fromFix(JulianTime logTime, const GpsFix& fix, uint32_t validity);

    void encode(std::span<uint8_t, kSize> out) const;
    // False when the bytes are not a record (digits or the line end missing).
    bool decode(std::span<const uint8_t, kSize> in);
    // False for a date no calendar has (month 13, 30 February) or a time of day outside
    // 0 to 24 h: a record damaged on the disk or by a receiver's bad sentence.
    bool hasPossibleTime() const;
};
