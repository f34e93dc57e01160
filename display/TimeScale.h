#pragma once
#include <cstdint>

// The horizontal scale: codes 1..4 are that many dots per pixel column ("Dpp1".."Dpp4"),
// codes 129..138 a fixed time per column ("F1".."F10").
class TimeScale {
  public:
    static constexpr int32_t kFirstTimed = 129;
    static constexpr int32_t kLastTimed = 138;
    static constexpr int32_t kLiveColumnTime = 25000;

    // Microseconds per column; any unknown code behaves as 1.
    static int32_t ColumnTime(int32_t code);
    // The status-line text ("D1".."D4", "F1".."F9", "F0").
    static const char* Label(int32_t code);
    static bool IsDotsPerColumn(int32_t code) { return code >= 1 && code <= 4; }
    static bool IsTimed(int32_t code) { return code >= kFirstTimed && code <= kLastTimed; }

    // One step towards more detail, and back. `dotsOnly` holds while live or in the
    // all-file mode; `compressed` lets the walk continue from F10 into Dpp4..Dpp1.
    static int32_t Finer(int32_t code, bool dotsOnly, bool compressed);
    static int32_t Coarser(int32_t code, bool dotsOnly, bool compressed);
};
