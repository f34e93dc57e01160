// Decoding speed of the module stream: a night-like mix of intervals (mostly two-byte
// values, some one- and three-byte ones, an occasional marker) decoded byte by byte.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "acquisition/StreamDecoder.h"

namespace {

std::vector<uint8_t> moduleStream(size_t bytes) {
    std::mt19937 rng(11);
    std::vector<uint8_t> out;
    out.reserve(bytes + 8);
    while (out.size() < bytes) {
        uint32_t v;
        const uint32_t kind = rng() % 100;
        if (kind < 15) {
            v = 20 + rng() % 100;  // high-frequency call, divided down
        } else if (kind < 95) {
            v = 128 + rng() % 16000;
        } else if (kind < 99) {
            v = 16384 + rng() % 2000000;  // silence between calls
        } else {
            out.insert(out.end(), {0x80, 0xFF, 0x80});
            continue;
        }
        out.push_back(static_cast<uint8_t>(0x80u | (v & 0x7Fu)));
        for (v >>= 7; v != 0; v >>= 7) out.push_back(static_cast<uint8_t>(v & 0x7Fu));
    }
    return out;
}

void BM_DecodeModuleStream(benchmark::State& state) {
    const std::vector<uint8_t> stream = moduleStream(1 << 20);
    acquisition::StreamDecoder decoder;
    decoder.reset();
    int64_t intervals = 0;
    for (auto _ : state) {
        uint64_t sum = 0;
        for (uint8_t b : stream) {
            const int32_t r = decoder.feed(b);
            if (r > 0) {
                sum += static_cast<uint32_t>(r);
                ++intervals;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
    state.counters["intervals/s"] =
        benchmark::Counter(static_cast<double>(intervals), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeModuleStream)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
