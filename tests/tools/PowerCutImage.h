#pragma once
// The sequence that save number `index` of the power-cut test writes: the saver child
// process and the test that checks its files build the same bytes from the index alone.
#include <cstdint>
#include <random>
#include <vector>

#include "sequence/JulianTime.h"
#include "sequence/SequenceTestData.h"

namespace powercut {

// Each save starts a second after the one before, so each has its own name.
inline JulianTime startOf(int32_t index) {
    return JulianTime::fromDateTime(2026, 6, 12, 21, 0, 0, 0) +
           static_cast<int64_t>(index) * 1000000;
}

// Sizes from a few hundred bytes to most of the 32 KB limit, so that a kill finds saves of
// every length.
inline std::vector<uint8_t> imageOf(int32_t index) {
    std::mt19937 rng(static_cast<uint32_t>(index) * 2654435761u + 1u);
    const size_t dots = std::uniform_int_distribution<size_t>(20, 6000)(rng);
    auto store = seqtest::storeFromIntervals(seqtest::randomIntervals(rng, dots));
    return seqtest::encode(*store, SequenceStartTime::fromJulian(startOf(index)));
}

}  // namespace powercut
