#include "display/CallFilter.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

int32_t CallFilter::NextLevel(int32_t level, int32_t step) {
    switch (step) {
        case 1:
            return level >= 4 ? 0 : level + 1;
        case 2:
            return 0;
        case 3:
            return level < 4 ? level + 1 : level;
        case -1:
            return level <= 0 ? 4 : level - 1;
        case -3:
            return level > 0 ? level - 1 : 0;
        default:
            return std::clamp(level, 0, kMaxLevel);
    }
}

int32_t CallFilter::Threshold(int32_t level) {
    static const int32_t kThresholds[] = {0, 32, 16, 8, 4, 2};
    return (level >= 1 && level <= kMaxLevel) ? kThresholds[level] : 0;
}

void CallFilter::Thin(std::span<const int32_t> t, int32_t count, int32_t level,
                      std::span<int32_t> rows) {
    const int64_t threshold = Threshold(level);
    if (threshold == 0) return;
    count = std::min<int32_t>(count, static_cast<int32_t>(std::min(t.size(), rows.size())));
    if (count <= 0) return;
    std::vector<uint8_t> keep(static_cast<size_t>(count), 0);
    for (int32_t i = 4; i < count; ++i) {
        const int64_t d = int64_t{t[i]} - t[i - 4];
        const int64_t b = 2 * (int64_t{t[i - 1]} - t[i - 3]) - d;
        // Without branches: whether a dot is kept is as good as random to the processor.
        const uint8_t k = std::llabs(b) * 32 < threshold * (d / 32) ? 1 : 0;
        keep[i - 2] |= k;
        keep[i - 1] |= k;
        keep[i] = k;
    }
    for (int32_t i = 0; i < count; ++i) {
        rows[i] = keep[i] != 0 || rows[i] <= 0 ? rows[i] : 0;
    }
}
