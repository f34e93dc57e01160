// NMEA parsing speed over the shared real-receiver captures, fed one byte at a time as the
// GPS link does.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "gps/GpsReceiver.h"

namespace {

std::string allCaptures() {
    namespace fs = std::filesystem;
    std::string text;
    const fs::path dir = fs::path(ZELKORA_SHARED_DATA) / "nmea";
    if (!fs::exists(dir)) return text;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".log") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return text;
}

void BM_AddCharOverCaptures(benchmark::State& state) {
    const std::string text = allCaptures();
    if (text.empty()) {
        state.SkipWithError("captures not present");
        return;
    }
    GpsReceiver receiver;
    int64_t accepted = 0;
    for (auto _ : state) {
        for (char c : text) accepted += receiver.AddChar(static_cast<uint8_t>(c)) & 1;
        benchmark::DoNotOptimize(accepted);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
    state.counters["GGA_per_pass"] =
        static_cast<double>(accepted) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_AddCharOverCaptures)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
