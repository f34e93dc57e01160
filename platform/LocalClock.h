#pragma once
#include <cstdint>

namespace platform {

// The device's local clock broken into calendar fields (local time, no zone kept).
struct LocalClockReading {
    int32_t year = 1970, month = 1, day = 1;
    int32_t hour = 0, minute = 0, second = 0;
    int32_t microsecond = 0;
};

LocalClockReading readLocalClock();

// The same system clock in UTC. The zone's offset valid at this instant (summer time
// included) lies between the two readings, so nothing has to be configured to get from one
// to the other.
LocalClockReading readUtcClock();

// The difference local time − UTC at this moment, in seconds (the time-zone offset).
int64_t localUtcOffsetSeconds();
// The same at the instant `unixSeconds` (seconds since 1970-01-01 00:00 UTC).
int64_t localUtcOffsetSecondsAt(int64_t unixSeconds);

// The instant (seconds since 1970-01-01 00:00 UTC) at which the local clock read
// `localSeconds` (its fields counted as if they were UTC). In the hour that comes twice when
// summer time ends, the later of the two; in the hour that is skipped, the reading is taken
// with the offset before the change.
int64_t utcSecondsOfLocal(int64_t localSeconds);
// A steady millisecond tick for measuring intervals (never jumps with clock changes).
uint64_t tickMilliseconds();

}  // namespace platform
