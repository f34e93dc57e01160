#include "display/TimeScale.h"

namespace {
constexpr int32_t kTimes[] = {25000, 12500, 6250, 2500, 1250, 625, 250, 125, 63, 25};
constexpr const char* kTimedLabels[] = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F0"};
constexpr const char* kDotLabels[] = {"D1", "D2", "D3", "D4"};
}  // namespace

int32_t TimeScale::ColumnTime(int32_t code) {
    if (IsTimed(code)) return kTimes[code - kFirstTimed];
    return 25000;
}

const char* TimeScale::Label(int32_t code) {
    if (IsTimed(code)) return kTimedLabels[code - kFirstTimed];
    if (IsDotsPerColumn(code)) return kDotLabels[code - 1];
    return "D1";
}

int32_t TimeScale::Finer(int32_t code, bool dotsOnly, bool compressed) {
    if (dotsOnly) return (code >= 2 && code <= 4) ? code - 1 : code;
    if (code >= kFirstTimed && code <= kLastTimed - 1) return code + 1;
    if (compressed) {
        if (code >= 2 && code <= 4) return code - 1;
        if (code == kLastTimed) return 4;
    }
    return code;
}

int32_t TimeScale::Coarser(int32_t code, bool dotsOnly, bool compressed) {
    if (dotsOnly) return (code >= 1 && code <= 3) ? code + 1 : code;
    if (code >= kFirstTimed + 1 && code <= kLastTimed) return code - 1;
    if (compressed) {
        if (code >= 1 && code <= 3) return code + 1;
        if (code == 4) return kLastTimed;
    }
    return code;
}
