#pragma once
#include <algorithm>
#include <cstdint>

// How long to wait before looking again for a device that is not there, in seconds. A USB
// device that dropped off for a moment (a knock on the cable, a dip in a battery's voltage) is
// usually back within seconds, and waiting a whole search interval lost a minute of the night
// each time: the first try is after 2 s, each next one twice as long after, up to `longest`.
class RetryDelay {
  public:
    static constexpr int64_t kFirst = 2;

    int64_t next(int64_t longest) {
        const int64_t now = std::min(delay_, longest);
        delay_ = std::min(delay_ * 2, longest);
        return now;
    }
    // After a success: the next loss starts again at kFirst.
    void reset() { delay_ = kFirst; }

  private:
    int64_t delay_ = kFirst;
};
