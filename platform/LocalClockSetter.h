#pragma once
#include <string>

#include "platform/LocalClock.h"

namespace platform {

// Sets the device's local clock to the given calendar fields (local time, to the
// millisecond). Tries the system's time service over D-Bus first (which asks for the
// user's permission where policy allows), then, when the process is privileged, the clock
// directly. False, with `error` saying why, when neither worked: callers must report that
// rather than claim the clock was set.
bool setLocalClock(const LocalClockReading& reading, std::string* error = nullptr);

}  // namespace platform
