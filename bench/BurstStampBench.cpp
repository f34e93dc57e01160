// How close `record` stamps each burst to the arrival of its first byte: the module
// simulator plays passes on a pseudo-terminal, `record` saves at odd moments for 8 s, and
// every file's start is compared with when the simulator handed that burst over. Goal: four
// in five stamps within 1 ms on an idle machine (the tests check only that every stamp
// belongs to its own burst, which holds on a busy one too).
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/PrivateFolders.h"
#include "support/TempDir.h"
#include "tools/ChildProcess.h"
#include "tools/SimulatorLog.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

void BM_BurstStamps(benchmark::State& state) {
    for (auto _ : state) {
        TempDir dir;
        const fs::path root = dir.path();
        usePrivateFolders(root, "[Zelkora]\nTimeKeeping=1\n");

        ChildProcess sim({kTool, "simulate-module", "--log", (root / "sim.log").string(), "--mix",
                          "passes", "--calls-per-second", "10", "--seed", "4"},
                         (root / "sim.err").string());
        std::string line;
        if (!sim.readLine(line, 5000)) return state.SkipWithError("no simulator");
        const std::string port = std::to_string(std::atoi(line.c_str() + 3));
        ChildProcess rec(
            {kTool, "record", "--port", port, "--seconds", "8", "--dir", (root / "out").string()},
            (root / "rec.err").string());
        std::vector<std::string> names;
        const auto begin = std::chrono::steady_clock::now();
        for (int t = 0; std::chrono::steady_clock::now() - begin < std::chrono::seconds(7); ++t) {
            std::this_thread::sleep_for(std::chrono::milliseconds(t % 2 ? 1090 : 1370));
            rec.write("\n");
        }
        while (rec.readLine(line, 8000)) {
            if (line.rfind("saved ", 0) == 0) names.push_back(line.substr(6));
        }
        rec.wait(5000);
        sim.signal(SIGTERM);
        sim.wait(5000);

        const auto log = readLog(root / "sim.log");
        const Arrivals arrivals = readArrivals(root / "sim.log");
        std::vector<int64_t> errors;
        size_t from = 0;
        for (const std::string& name : names) {
            const SavedFile f = readSaved(root / "out", name);
            const int64_t at = f.intervals.empty() ? -1 : findRun(log, f.intervals, from);
            if (at < 0) continue;
            from = static_cast<size_t>(at) + 1;
            if (const auto e = burstStampError(log, arrivals, f, at))
                errors.push_back(std::abs(*e));
        }
        if (errors.empty()) return state.SkipWithError("no file to measure");
        std::sort(errors.begin(), errors.end());
        const auto within =
            std::count_if(errors.begin(), errors.end(), [](int64_t e) { return e <= 1000; });
        state.counters["files"] = static_cast<double>(errors.size());
        state.counters["within_1ms_pct"] =
            100.0 * static_cast<double>(within) / static_cast<double>(errors.size());
        state.counters["median_us"] = static_cast<double>(errors[errors.size() / 2]);
        state.counters["worst_us"] = static_cast<double>(errors.back());
    }
}
BENCHMARK(BM_BurstStamps)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
