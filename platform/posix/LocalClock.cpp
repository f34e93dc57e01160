#include "platform/LocalClock.h"

#include <time.h>

#include <limits>

namespace platform {

namespace {

LocalClockReading readClock(bool utc) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm fields{};
    if (utc) {
        gmtime_r(&ts.tv_sec, &fields);
    } else {
        localtime_r(&ts.tv_sec, &fields);
    }
    LocalClockReading r;
    r.year = fields.tm_year + 1900;
    r.month = fields.tm_mon + 1;
    r.day = fields.tm_mday;
    r.hour = fields.tm_hour;
    r.minute = fields.tm_min;
    r.second = fields.tm_sec;
    r.microsecond = static_cast<int32_t>(ts.tv_nsec / 1000);
    return r;
}

}  // namespace

LocalClockReading readLocalClock() {
    return readClock(false);
}

LocalClockReading readUtcClock() {
    return readClock(true);
}

int64_t localUtcOffsetSeconds() {
    return localUtcOffsetSecondsAt(time(nullptr));
}

int64_t localUtcOffsetSecondsAt(int64_t unixSeconds) {
    if constexpr (sizeof(time_t) < sizeof(int64_t)) {
        // A 32-bit time_t (armhf boards) ends in January 2038 and begins in December 1901;
        // cut to it, a later instant would take the offset of a day early in the century.
        // The calendar repeats every 28 years up to 2100, leap days and weekdays alike, and
        // so do the zone's summer-time rules: a later instant is looked up that much earlier.
        constexpr int64_t kLast = std::numeric_limits<time_t>::max();
        constexpr int64_t kFirst = std::numeric_limits<time_t>::min();
        constexpr int64_t kCycle = int64_t{10227} * 86400;
        if (unixSeconds > kLast) unixSeconds -= ((unixSeconds - kLast) / kCycle + 1) * kCycle;
        if (unixSeconds < kFirst) unixSeconds = kFirst;
    }
    const time_t at = static_cast<time_t>(unixSeconds);
    tm local{};
    if (localtime_r(&at, &local) == nullptr) return 0;
    return local.tm_gmtoff;
}

int64_t utcSecondsOfLocal(int64_t localSeconds) {
    // The zone's offsets a day either side are those that may hold at the reading; each
    // stands when the instant it gives has that offset. Both stand in the hour that comes
    // twice, none in the hour that is skipped (read with the offset before the change).
    const int64_t before = localUtcOffsetSecondsAt(localSeconds - 86400);
    const int64_t after = localUtcOffsetSecondsAt(localSeconds + 86400);
    if (localUtcOffsetSecondsAt(localSeconds - after) == after) return localSeconds - after;
    if (localUtcOffsetSecondsAt(localSeconds - before) == before) return localSeconds - before;
    return localSeconds - before;
}

uint64_t tickMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace platform
