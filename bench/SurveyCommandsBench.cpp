// `zelkora-tool calls` over a folder of 10 000 sequence files, the whole command as a user
// runs it (process start, folder walk, reading, filtering, measuring, printing). Goal: under
// 10 s for the folder.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/display/SyntheticSequence.h"

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";
constexpr int kFiles = 10000;

// 10 000 files of `calls` calls each, with noise between the calls; a hundred different
// files repeated.
std::filesystem::path makeFolder(int calls) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("zelkora-bench-calls-" + std::to_string(calls));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::vector<std::vector<uint8_t>> images;
    for (uint32_t seed = 0; seed < 100; ++seed) {
        synthetic::CallPlan plan;
        plan.calls = calls;
        plan.dotsPerCall = 40;
        plan.noiseDots = 6;
        plan.seed = seed;
        images.push_back(synthetic::encode(*synthetic::makeCalls(plan)));
    }
    for (int i = 0; i < kFiles; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "P%07d.00#", i);
        const auto& image = images[static_cast<size_t>(i) % images.size()];
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
    }
    return dir;
}

void runCalls(benchmark::State& state) {
    const auto dir = makeFolder(static_cast<int>(state.range(0)));
    const std::string command = kTool + " calls --filter 2 '" + dir.string() + "' >/dev/null";
    auto childCpu = [] {
        rusage use{};
        ::getrusage(RUSAGE_CHILDREN, &use);
        return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
               static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    };
    const double before = childCpu();
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("calls failed");
    }
    // On a shared machine the tool's own processor time says more than the wall clock.
    state.counters["tool_cpu_s"] = childCpu() - before;
    state.counters["files_per_s"] =
        benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove_all(dir);
}

// 40 calls (about 2 000 dots, a few kilobytes) is a typical file; 300 calls fill a file to
// near its 32 KB limit.
BENCHMARK(runCalls)->Arg(40)->Arg(300)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
