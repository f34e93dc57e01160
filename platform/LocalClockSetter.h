#pragma once
#include <string>

#include "platform/LocalClock.h"

namespace platform {

// Sets the device's clock to the given calendar fields of UTC (to the millisecond): local
// fields would name two instants in the hour that comes twice when summer time ends. Tries the
// system's time service over D-Bus first (which asks for the user's permission where policy
// allows), then, when the process is privileged, the clock directly. False, with `error` saying
// why, when neither worked: callers must report that rather than claim the clock was set.
bool setUtcClock(const LocalClockReading& utc, std::string* error = nullptr);

}  // namespace platform
