#include "gps/TrackRecord.h"

#include <cmath>
#include <limits>

namespace {

void put32(uint8_t* p, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
    p[3] = static_cast<uint8_t>(u >> 24);
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

int32_t get32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void putTwoDigits(uint8_t* p, int32_t v) {
    v %= 100;
    if (v < 0) v += 100;
    p[0] = static_cast<uint8_t>('0' + v / 10);
    p[1] = static_cast<uint8_t>('0' + v % 10);
}

bool getTwoDigits(const uint8_t* p, int32_t& v) {
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9') return false;
    v = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

}  // namespace

int32_t TrackRecord::statusCode(uint32_t validity) {
    switch (validity) {
        case 1:
            return 5;
        case 3:
            return 6;
        case 5:
            return 13;
        case 7:
            return 14;
        default:
            return 0;
    }
}

uint16_t TrackRecord::dopField(double dop) {
    if (dop == kGpsNotReported || std::isnan(dop)) return kDopNotReported;
    const double v = std::trunc(dop * 10.0);
    if (v <= 0.0) return 0;
    if (v >= kDopNotReported - 1.0) return kDopNotReported - 1;
    return static_cast<uint16_t>(v);
}

int32_t TrackRecord::scaled(double value, double factor) {
    const double v = std::trunc(value * factor);
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(v);
}

TrackRecord TrackRecord::fromFix(JulianTime logTime, const GpsFix& fix, uint32_t validity) {
    TrackRecord r;
    logTime.dateFields(r.year, r.month, r.day);
    r.timeMs = static_cast<int32_t>(logTime.timeOfDay() / JulianTime::kMillisecond);
    r.latitudeE6 = scaled(fix.latitude, 1000000.0);
    r.longitudeE6 = scaled(fix.longitude, 1000000.0);
    r.altitudeMm = scaled(fix.altitude, 1000.0);
    r.status = static_cast<char>('0' + statusCode(validity));
    r.satellites = static_cast<uint8_t>(fix.satellitesUsed & 0xFF);
    r.pdop10 = dopField(fix.pdop);
    r.hdop10 = dopField(fix.hdop);
    r.vdop10 = dopField(fix.vdop);
    return r;
}

void TrackRecord::encode(std::span<uint8_t, kSize> out) const {
    uint8_t* p = out.data();
    putTwoDigits(p, year - 2000);
    putTwoDigits(p + 2, month);
    putTwoDigits(p + 4, day);
    put32(p + 6, timeMs);
    put32(p + 10, latitudeE6);
    put32(p + 14, longitudeE6);
    put32(p + 18, altitudeMm);
    p[22] = static_cast<uint8_t>(status);
    p[23] = satellites;
    put16(p + 24, pdop10);
    put16(p + 26, hdop10);
    put16(p + 28, vdop10);
    p[30] = 13;
    p[31] = 10;
}

bool TrackRecord::decode(std::span<const uint8_t, kSize> in) {
    const uint8_t* p = in.data();
    int32_t yy = 0;
    if (!getTwoDigits(p, yy) || !getTwoDigits(p + 2, month) || !getTwoDigits(p + 4, day)) {
        return false;
    }
    year = 2000 + yy;
    timeMs = get32(p + 6);
    latitudeE6 = get32(p + 10);
    longitudeE6 = get32(p + 14);
    altitudeMm = get32(p + 18);
    status = static_cast<char>(p[22]);
    satellites = p[23];
    pdop10 = get16(p + 24);
    hdop10 = get16(p + 26);
    vdop10 = get16(p + 28);
    return p[30] == 13 && p[31] == 10;
}

bool TrackRecord::hasPossibleTime() const {
    static constexpr int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int32_t days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= days && timeMs >= 0 && timeMs < 24 * 3600 * 1000;
}
