#pragma once
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sequence/DotStore.h"
#include "sequence/SequenceFormat.h"

// Sequences with known calls for the display's tests and benchmarks: frequency-modulated
// sweeps (a bat's search calls) separated by silence, optionally with noise between them.
namespace synthetic {

struct CallPlan {
    int32_t calls = 10;
    int32_t dotsPerCall = 30;
    double startKhz = 90.0;     // the sweep's first frequency
    double endKhz = 40.0;       // and its last
    int32_t gapMicros = 80000;  // silence before each call
    int32_t noiseDots = 0;      // random intervals in each gap
    int32_t divisionRatio = 16;
    uint32_t seed = 7;
};

// Builds the dots (times and frequencies) of the plan, stopping at the store's capacity.
inline std::unique_ptr<DotStore> makeCalls(const CallPlan& plan) {
    auto store = std::make_unique<DotStore>();
    std::mt19937 random(plan.seed);
    std::uniform_int_distribution<int32_t> noise(40, 400);
    int32_t count = 1;
    int64_t time = 0;
    auto add = [&](int32_t interval) {
        if (count >= DotStore::kCapacity) return;
        time += interval;
        store->times[count++] = static_cast<int32_t>(time);
    };
    for (int32_t c = 0; c < plan.calls && count < DotStore::kCapacity; ++c) {
        int32_t gap = plan.gapMicros;
        for (int32_t n = 0; n < plan.noiseDots; ++n) {
            const int32_t interval = noise(random) * 20;
            add(interval);
            gap -= interval;
        }
        add(std::max(gap, 20000));
        for (int32_t d = 0; d < plan.dotsPerCall; ++d) {
            const double khz = plan.startKhz + (plan.endKhz - plan.startKhz) * d /
                                                   std::max(plan.dotsPerCall - 1, 1);
            // Two intervals make one period of the divided signal.
            add(static_cast<int32_t>(std::lround(plan.divisionRatio * 1e3 / khz / 2)));
        }
    }
    store->count = count;
    store->divisionRatio = plan.divisionRatio;
    computeDotFrequencies(*store);
    return store;
}

inline std::vector<uint8_t> encode(const DotStore& store) {
    SequenceHeaderText header;
    SequenceStartTime start;
    start.year = 2026;
    start.month = 6;
    start.day = 12;
    start.hour = 22;
    start.minute = 15;
    return encodeSequenceImage(store, header, start, PositionBlock{});
}

}  // namespace synthetic
