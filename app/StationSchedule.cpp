#include "app/StationSchedule.h"

#include <cstdio>

#include "app/SolarTimes.h"

namespace station {
namespace {

constexpr int64_t kDay = 86400;

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's
// "chrono-Compatible Low-Level Date Algorithms").
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = floorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
    z += 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

}  // namespace

int64_t localDayAt(int64_t utc, const UtcOffsetAt& offsetAt) {
    return floorDiv(utc + offsetAt(utc), kDay);
}

int64_t eveningDayAt(int64_t utc, const UtcOffsetAt& offsetAt) {
    return floorDiv(utc + offsetAt(utc) - kDay / 2, kDay);
}

int64_t utcOfLocal(int64_t day, int64_t secondOfDay, const UtcOffsetAt& offsetAt) {
    const int64_t local = day * kDay + secondOfDay;
    // The offset at the local reading taken as UTC is off by at most one change of summer
    // time; a second look at the offset of the instant found settles it.
    const int64_t guess = local - offsetAt(local);
    return local - offsetAt(guess);
}

SunNight sunNight(int64_t localDay, const Position& where, const UtcOffsetAt& offsetAt) {
    // The evening's sunset belongs to the solar day of the local noon, the sunrise to the
    // solar day after it; this holds for any zone within twelve hours of the sun's time.
    const int64_t noon = utcOfLocal(localDay, kDay / 2, offsetAt);
    const int64_t solarDay = solar::solarDayNearest(noon, where.longitude);
    SunNight night;
    night.sunset = solar::sunEvents(solarDay, where.latitude, where.longitude).sunset;
    night.sunrise = solar::sunEvents(solarDay + 1, where.latitude, where.longitude).sunrise;
    return night;
}

Night nightOf(int64_t localDay, const std::optional<Position>& where, const SchedulePlan& plan,
              const UtcOffsetAt& offsetAt) {
    Night night;
    night.localDay = localDay;
    if (where) night.sun = sunNight(localDay, *where, offsetAt);
    if (night.sun.sunset && night.sun.sunrise) {
        night.start = *night.sun.sunset + plan.sunsetOffset;
        night.stop = *night.sun.sunrise + plan.sunriseOffset;
        // Offsets that swallow the whole night leave nothing to record.
        if (night.stop < night.start) night.stop = night.start;
        return night;
    }
    night.fixedHours = true;
    night.start = utcOfLocal(localDay, plan.fixedStart, offsetAt);
    const int64_t stopDay = plan.fixedStop > plan.fixedStart ? localDay : localDay + 1;
    night.stop = utcOfLocal(stopDay, plan.fixedStop, offsetAt);
    return night;
}

Decision decide(int64_t now, const std::optional<Position>& where, const SchedulePlan& plan,
                const UtcOffsetAt& offsetAt) {
    const int64_t today = localDayAt(now, offsetAt);
    // Yesterday's night may still run; otherwise tonight's or, after it, tomorrow's.
    for (int64_t day = today - 1; day <= today + 1; ++day) {
        const Night night = nightOf(day, where, plan, offsetAt);
        if (night.stop <= now || night.stop <= night.start) continue;
        Decision d;
        d.night = night;
        d.record = night.start <= now;
        d.until = d.record ? night.stop : night.start;
        return d;
    }
    // Only offsets that leave no night at all come here: look again in an hour.
    Decision d;
    d.night = nightOf(today, where, plan, offsetAt);
    d.until = now + 3600;
    return d;
}

std::string dateText(int64_t day) {
    int64_t y = 0, m = 0, d = 0;
    civilFromDays(day, y, m, d);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", static_cast<long long>(y),
                  static_cast<long long>(m), static_cast<long long>(d));
    return text;
}

std::optional<int64_t> parseDate(const std::string& text) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3) {
        return std::nullopt;
    }
    if (m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
    const int64_t day = daysFromCivil(y, m, d);
    if (dateText(day) != text) return std::nullopt;  // 31 April and the like
    return day;
}

std::string utcText(int64_t utc) {
    const int64_t day = floorDiv(utc, kDay);
    const int64_t s = utc - day * kDay;
    char text[96];
    std::snprintf(text, sizeof text, "%sT%02lld:%02lld:%02lldZ", dateText(day).c_str(),
                  static_cast<long long>(s / 3600), static_cast<long long>(s / 60 % 60),
                  static_cast<long long>(s % 60));
    return text;
}

std::optional<int32_t> parseClockTime(const std::string& text) {
    int h = 0, m = 0, s = 0, used = 0;
    const int fields = std::sscanf(text.c_str(), "%2d:%2d%n:%2d%n", &h, &m, &used, &s, &used);
    if (fields < 2 || static_cast<size_t>(used) != text.size()) return std::nullopt;
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::nullopt;
    return h * 3600 + m * 60 + s;
}

}  // namespace station
