#pragma once
#include <cstdint>
#include <string>

#include "sequence/JulianTime.h"

namespace acquisition {

// What the serial test counts: the intervals that arrived, the module's clock (the start
// plus every interval) against the device's clock (the start plus the tick counter), the
// intervals at which the two disagreed by more than a second, and the module's overflows.
// After an overflow the module has lost time on purpose; the difference found at the first
// interval after it becomes the offset that later comparisons leave out.
// Not locked: its owner guards it.
class SerialTestStats {
  public:
    static constexpr int64_t kBadDriftUs = 1000000;

    // The texts of the dialog's fields.
    struct Texts {
        std::string transitions;
        std::string transitionTime;
        std::string realTime;
        std::string badTransitions;
        std::string badTime;
        std::string overflows;
        std::string overflowTime;
    };

    // Every count and time 0; the next interval is a first one.
    void Reset();
    // A run starts at `startClock` on the device clock, `startTickMs` on the tick counter.
    void Begin(JulianTime startClock, uint64_t startTickMs);
    // An interval of `intervalUs` has arrived, the tick counter reading `tickMs`.
    void CountInterval(int64_t intervalUs, uint64_t tickMs);
    // An overflow has been drained: counted, and the next interval sets the offset.
    void OverflowEnded();

    Texts texts() const;

    int64_t transitions() const { return transitions_; }
    int64_t badTransitions() const { return bad_; }
    int64_t overflows() const { return overflows_; }
    JulianTime transitionClock() const { return transitionClock_; }
    JulianTime realClock() const { return realClock_; }
    JulianTime badTime() const { return badTime_; }
    JulianTime overflowOffset() const { return overflowOffset_; }

    // 4123765 as "4,123,765".
    static std::string WithThousands(int64_t count);
    // A time of day as "01:37:24.000 000".
    static std::string ClockText(JulianTime t);
    // A length of time as "1h  37m  24s 000 000"; hours run on past a day, and a negative
    // length (the module's clock behind the device's) has a leading '-'.
    static std::string DurationText(JulianTime t);

  private:
    int64_t transitions_ = 0;
    int64_t bad_ = 0;
    int64_t overflows_ = 0;
    bool first_ = true;
    bool afterOverflow_ = false;
    uint64_t startTickMs_ = 0;
    JulianTime startClock_;
    JulianTime transitionClock_;
    JulianTime realClock_;
    JulianTime badTime_;
    JulianTime overflowOffset_;
};

}  // namespace acquisition
