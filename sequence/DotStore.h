#pragma once
#include <array>
#include <cstdint>

// The decoded dots of one sequence: what a file is written from and read into, and what the
// view draws. Dot 0 is at time 0; dot i is at the sum of the first i intervals.
struct DotStore {
    static constexpr int32_t kCapacity = 16384;
    static constexpr uint16_t kNominalTiming = 25000;

    std::array<int32_t, kCapacity> times{};      // cumulative microseconds
    std::array<uint8_t, kCapacity> status{};     // 0 normally; 254 for dots 0 and 1 after reading
    std::array<int32_t, kCapacity> frequency{};  // thousandths of a hertz, 0 when not defined
    int32_t count = 0;                           // valid dots including dot 0
    int32_t divisionRatio = 16;                  // 1..64
    uint16_t timingValue = kNominalTiming;
};
