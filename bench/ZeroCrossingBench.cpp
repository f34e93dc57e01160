// Zero-crossing extraction from full-spectrum audio, and the measurement of its background
// that comes first, and the spectral gate before both: how many times real time one core
// manages (the "x_real_time" counter; the import needs at least 100 for all its passes
// together).
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "acquisition/BandBackground.h"
#include "acquisition/BandGate.h"
#include "acquisition/NoiseFloor.h"
#include "acquisition/ZeroCrossingExtractor.h"

namespace {

// One second at `rate`: a 5 ms sweep from 90 to 35 kHz every 80 ms over faint noise.
std::vector<float> night(double rate) {
    std::vector<float> out(static_cast<size_t>(rate));
    uint32_t seed = 7;
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(seed >> 8) / (1 << 24) - 0.5) * 0.004;
        const double u = std::fmod(static_cast<double>(i) / rate, 0.08);
        double call = 0;
        if (u < 0.005) {
            phase += 2 * std::numbers::pi * (90000 - 11e6 * u) / rate;
            call = 0.3 * std::sin(phase);
        }
        out[i] = static_cast<float>(call + noise);
    }
    return out;
}

void BM_Extract(benchmark::State& state) {
    const double rate = static_cast<double>(state.range(0));
    const std::vector<float> audio = night(rate);
    acquisition::ZeroCrossingExtractor::Settings settings;
    settings.sampleRate = rate;
    acquisition::ZeroCrossingExtractor extractor(settings);
    std::vector<double> kept;
    constexpr size_t kChunk = 65536;
    for (auto _ : state) {
        for (size_t at = 0; at < audio.size(); at += kChunk) {
            kept.clear();
            extractor.feed(
                std::span<const float>(audio).subspan(at, std::min(kChunk, audio.size() - at)),
                kept);
            benchmark::DoNotOptimize(kept.data());
        }
    }
    // One iteration is one second of recording.
    state.counters["x_real_time"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(audio.size()));
}
BENCHMARK(BM_Extract)->Arg(384000)->Arg(500000)->Unit(benchmark::kMillisecond);

// The import's first pass over a recording, which measures its background for the gate: how
// many times real time one core manages (it adds its own share to the extraction's).
void BM_MeasureBackground(benchmark::State& state) {
    const double rate = static_cast<double>(state.range(0));
    const std::vector<float> audio = night(rate);
    for (auto _ : state) {
        acquisition::NoiseFloor background(rate, 12000);
        background.add(audio);
        benchmark::DoNotOptimize(background.levelsDb());
    }
    state.counters["x_real_time"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MeasureBackground)->Arg(384000)->Arg(500000)->Unit(benchmark::kMillisecond);

// The spectral gate's share: measuring the background spectrum, then the gate itself, which
// the import runs twice (for the level's background and for the crossings).
void BM_BandBackground(benchmark::State& state) {
    const double rate = static_cast<double>(state.range(0));
    const std::vector<float> audio = night(rate);
    for (auto _ : state) {
        acquisition::BandBackground background(rate);
        background.add(audio);
        background.finish();
        benchmark::DoNotOptimize(background.level(0, 0));
    }
    state.counters["x_real_time"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BandBackground)->Arg(384000)->Arg(500000)->Unit(benchmark::kMillisecond);

void BM_BandGate(benchmark::State& state) {
    const double rate = static_cast<double>(state.range(0));
    const std::vector<float> audio = night(rate);
    acquisition::BandBackground background(rate);
    background.add(audio);
    background.finish();
    std::vector<float> cleaned;
    for (auto _ : state) {
        acquisition::BandGate gate(background, 12000);
        cleaned.clear();
        gate.feed(audio, cleaned);
        gate.finish(cleaned);
        benchmark::DoNotOptimize(cleaned.data());
    }
    state.counters["x_real_time"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BandGate)->Arg(384000)->Arg(500000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
