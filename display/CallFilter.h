#pragma once
#include <cstdint>
#include <span>

// The call filter: a dot is judged with its four predecessors, and the runs of dots whose
// intervals change smoothly (calls) are kept while isolated noise is hidden.
class CallFilter {
  public:
    static constexpr int32_t kMaxLevel = 5;

    // The level after a step: 0 apply the current level, 1 one stricter wrapping from 4 to
    // 0, 2 level 0, 3 one stricter stopping at 4, -1 one looser wrapping from 0 to 4, -3 one
    // looser stopping at 0.
    static int32_t NextLevel(int32_t level, int32_t step);
    // 32, 16, 8, 4, 2 for levels 1..5; 0 (keep everything) for level 0.
    static int32_t Threshold(int32_t level);
    // Sets the row of every dot no judgement keeps to 0 (not shown).
    static void Thin(std::span<const int32_t> times, int32_t count, int32_t level,
                     std::span<int32_t> rows);
};
