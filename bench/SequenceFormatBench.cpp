// Decoding and encoding a sequence file at its largest: 16 383 intervals filling 32 768 bytes.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "sequence/SequenceFormat.h"

namespace {

// A type 0x84 image of exactly 32 768 bytes holding 16 383 intervals in their shortest codes:
// 16 049 two-byte codes and 334 deltas at random places, 13 to 14 seconds in all.
std::vector<uint8_t> fullImage() {
    auto empty = std::make_unique<DotStore>();
    empty->count = 1;
    std::vector<uint8_t> image = encodeSequenceImage(*empty, {}, {}, {});
    std::mt19937 rng(42);
    constexpr int kTotal = 16383;
    constexpr int kDeltas = 2 * kTotal - (32768 - 336);  // 334
    std::vector<bool> isDelta(kTotal, false);
    for (int placed = 0; placed < kDeltas;) {
        const auto at = rng() % kTotal;
        if (at > 0 && !isDelta[at]) {
            isDelta[at] = true;
            ++placed;
        }
    }
    int32_t previous = 0;
    for (int i = 0; i < kTotal; ++i) {
        if (isDelta[static_cast<size_t>(i)]) {
            int32_t step = static_cast<int32_t>(rng() % 128) - 64;
            if (previous + step < 0) step = -step;
            image.push_back(static_cast<uint8_t>(step & 0x7F));
            previous += step;
        } else {
            int32_t v;
            do {
                v = 64 + static_cast<int32_t>(rng() % 1537);
            } while (v - previous >= -64 && v - previous <= 63);
            image.push_back(static_cast<uint8_t>(0x80 | (v >> 8)));
            image.push_back(static_cast<uint8_t>(v & 0xFF));
            previous = v;
        }
    }
    return image;
}

void BM_DecodeFullFileWithFrequencies(benchmark::State& state) {
    const std::vector<uint8_t> image = fullImage();
    auto store = std::make_unique<DotStore>();
    for (auto _ : state) {
        const int32_t dots = decodeSequenceImage(image, *store);
        computeDotFrequencies(*store);
        benchmark::DoNotOptimize(dots);
        benchmark::DoNotOptimize(store->frequency[static_cast<size_t>(dots - 1)]);
    }
    if (store->count != 16384 || image.size() != 32768) state.SkipWithError("not a full file");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(image.size()));
}
BENCHMARK(BM_DecodeFullFileWithFrequencies);

void BM_DecodeFullFile(benchmark::State& state) {
    const std::vector<uint8_t> image = fullImage();
    auto store = std::make_unique<DotStore>();
    for (auto _ : state) benchmark::DoNotOptimize(decodeSequenceImage(image, *store));
}
BENCHMARK(BM_DecodeFullFile);

void BM_FrequenciesOfFullFile(benchmark::State& state) {
    auto store = std::make_unique<DotStore>();
    decodeSequenceImage(fullImage(), *store);
    for (auto _ : state) {
        computeDotFrequencies(*store);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrequenciesOfFullFile);

void BM_EncodeFullFile(benchmark::State& state) {
    auto store = std::make_unique<DotStore>();
    decodeSequenceImage(fullImage(), *store);
    std::vector<uint8_t> buffer(seqformat::kMaxFileSize);
    size_t length = 0;
    for (auto _ : state) {
        length = encodeSequenceImage(*store, {}, {}, {}, buffer);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    state.counters["bytes_written"] = static_cast<double>(length);
}
BENCHMARK(BM_EncodeFullFile);

}  // namespace

BENCHMARK_MAIN();
