#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "sequence/SequenceFile.h"

namespace {

// A night-like mix: short frequency-modulated runs that the call detector follows (but never
// long enough to keep a sequence, so no file is written), noise, and the odd gap.
std::vector<int32_t> mixedIntervals() {
    std::vector<int32_t> v;
    uint32_t noise = 12345;
    while (v.size() < 65536) {
        for (int32_t i = 0; i < 7; ++i) v.push_back(260 - 6 * i);  // a run of length 7
        for (int32_t i = 0; i < 20; ++i) {
            noise = noise * 1103515245u + 12345u;
            v.push_back(static_cast<int32_t>(40 + (noise >> 16) % 4000));
        }
        v.push_back(30000);
    }
    return v;
}

void BM_AddInterval(benchmark::State& state) {
    const std::vector<int32_t> intervals = mixedIntervals();
    SequenceFile file;
    int32_t written = 0;
    file.setWriter([&](const DotStore&, JulianTime, const PositionBlock&, std::string& name) {
        ++written;
        name = "unexpected";
        return 0;
    });
    // Monitor mode: detector on, K = 1, L = 5, T = 5 s; no tone filter.
    file.start(16, "", 1, 5, 5000000, false, true);
    file.reset();
    size_t i = 0;
    int32_t value = 0, frequency = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(file.addInterval(intervals[i]));
        i = (i + 1) & (intervals.size() - 1);
        // The worker takes the display points as it goes; keep the ring's display index
        // moving as it does, outside the measured step's critical path.
        if ((i & 1023) == 0) {
            while (file.nextDisplayPoint(value, frequency)) benchmark::DoNotOptimize(frequency);
        }
    }
    state.SetItemsProcessed(state.iterations());
    if (written != 0) state.SkipWithError("a file was written");
}
BENCHMARK(BM_AddInterval);

void BM_AddIntervalToneFilter(benchmark::State& state) {
    const std::vector<int32_t> intervals = mixedIntervals();
    SequenceFile file;
    file.setWriter([](const DotStore&, JulianTime, const PositionBlock&, std::string& name) {
        name = "x";
        return 0;
    });
    file.start(16, "", 1, 5, 5000000, true, true);
    file.reset();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(file.addInterval(intervals[i]));
        i = (i + 1) & (intervals.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddIntervalToneFilter);

}  // namespace

BENCHMARK_MAIN();
