#include "platform/LocalClock.h"

#include <time.h>

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
    const time_t at = static_cast<time_t>(unixSeconds);
    tm local{};
    if (localtime_r(&at, &local) == nullptr) return 0;
    return local.tm_gmtoff;
}

uint64_t tickMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace platform
