// `zelkora-tool calls` over a folder of 10 000 sequence files, the whole command as a user
// runs it (process start, folder walk, reading, filtering, measuring, printing). Goals: under
// 10 s for the folder of synthetic files; on files imported from the real recordings,
// `calls -j 1` at most 5 times `info -j 1` on the same files, and two jobs about twice as
// fast as one on two cores.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/display/SyntheticSequence.h"

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";
constexpr int kFiles = 10000;

// The processor time of the finished children, in seconds.
double childCpuSeconds() {
    rusage use{};
    ::getrusage(RUSAGE_CHILDREN, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// 10 000 files of `calls` calls each, with noise between the calls; a hundred different
// files repeated.
std::filesystem::path makeFolder(int calls) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zelkora-bench-calls-" + std::to_string(calls));
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
    const double before = childCpuSeconds();
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("calls failed");
    }
    // On a shared machine the tool's own processor time says more than the wall clock.
    state.counters["tool_cpu_s"] = childCpuSeconds() - before;
    state.counters["files_per_s"] =
        benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove_all(dir);
}

// 40 calls (about 2 000 dots, a few kilobytes) is a typical file; 300 calls fill a file to
// near its 32 KB limit.
BENCHMARK(runCalls)->Arg(40)->Arg(300)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

const std::filesystem::path kRecordings = std::filesystem::path(ZELKORA_SHARED_DATA) / "recordings";

// 10 000 files imported from the real recordings at several thresholds (about 100 calls and
// 13 KB each), in a folder of their own.
std::filesystem::path importedFolder() {
    const auto dir = std::filesystem::temp_directory_path() / "zelkora-bench-imported";
    std::filesystem::remove_all(dir);
    const auto night = dir / "night";
    std::filesystem::create_directories(night);
    std::vector<std::filesystem::path> files;
    for (const char* threshold : {"-22", "-30", "-36", "-40", "-46"}) {
        const auto to = dir / (std::string("import") + threshold);
        const std::string command = "XDG_CONFIG_HOME='" + (dir / "cfg").string() + "' " + kTool +
                                    " import '" + kRecordings.string() + "'/*.wav --threshold " +
                                    threshold + " --dir '" + to.string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return {};
        for (const auto& entry : std::filesystem::directory_iterator(to)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (int i = 0; i < kFiles; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "P%07d.00#", i);
        std::filesystem::copy_file(files[static_cast<size_t>(i) % files.size()], night / name);
    }
    return night;
}

// One command over the folder: its wall-clock and processor seconds.
struct Timed {
    double wall = 0, cpu = 0;
};
Timed timed(const std::string& command) {
    const double cpu = childCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (std::system((command + " >/dev/null").c_str()) != 0) return {-1, -1};
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            childCpuSeconds() - cpu};
}

// calls and info over the same 10 000 imported files, one job and two; the counters give
// their ratio (the goal: calls_to_info at most 5) and what a second job gains.
void callsAgainstInfo(benchmark::State& state) {
    if (!std::filesystem::exists(kRecordings)) {
        state.SkipWithError("no shared recordings");
        return;
    }
    const auto night = importedFolder();
    if (night.empty()) {
        state.SkipWithError("import failed");
        return;
    }
    const std::string folder = " '" + night.string() + "'";
    const std::string settings =
        "XDG_CONFIG_HOME='" + (night.parent_path() / "cfg").string() + "' ";
    Timed info, calls, calls2, map1, map2;
    for (auto _ : state) {
        info = timed(settings + kTool + " info -j 1" + folder);
        calls = timed(settings + kTool + " calls --filter 2 -j 1" + folder);
        calls2 = timed(settings + kTool + " calls --filter 2 -j 2" + folder);
        const std::string track = (night.parent_path() / "GPS.zlg").string();
        std::ofstream(track).flush();
        const std::string map = settings + kTool + " map '" + track + "'" + folder + " --gpx '" +
                                (night.parent_path() / "night.gpx").string() + "' -j ";
        map1 = timed(map + "1");
        map2 = timed(map + "2");
    }
    if (info.wall < 0 || calls.wall < 0 || calls2.wall < 0 || map1.wall < 0 || map2.wall < 0) {
        state.SkipWithError("a command failed");
    }
    state.counters["info_s"] = info.wall;
    state.counters["calls_s"] = calls.wall;
    state.counters["calls_j2_s"] = calls2.wall;
    // Processor time says more than the wall clock on a shared machine.
    state.counters["calls_to_info"] = calls.cpu / info.cpu;
    state.counters["calls_j2_speedup"] = calls.wall / calls2.wall;
    state.counters["calls_j2_cpu_per_wall"] = calls2.cpu / calls2.wall;
    state.counters["map_s"] = map1.wall;
    state.counters["map_j2_cpu_per_wall"] = map2.cpu / map2.wall;
    std::filesystem::remove_all(night.parent_path());
}

BENCHMARK(callsAgainstInfo)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// import over 40 recordings (the shared ones ten times over) and render over the imported
// files twenty times over, with one job and with two: the processor time over the wall-clock time
// of two jobs (the goal: near 2 on two cores) and what the second job gains.
void importAndRenderOnTwoCores(benchmark::State& state) {
    if (!std::filesystem::exists(kRecordings)) {
        state.SkipWithError("no shared recordings");
        return;
    }
    const auto dir = std::filesystem::temp_directory_path() / "zelkora-bench-two-cores";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "wav");
    std::string recordings;
    for (int copy = 0; copy < 10; ++copy) {
        for (const auto& entry : std::filesystem::directory_iterator(kRecordings)) {
            if (entry.path().extension() != ".wav") continue;
            const auto to = dir / "wav" / (std::to_string(copy) + entry.path().filename().string());
            std::filesystem::copy_file(entry.path(), to);
            recordings += " '" + to.string() + "'";
        }
    }
    const std::string tool = "XDG_CONFIG_HOME='" + (dir / "cfg").string() + "' " + kTool;
    Timed import1, import2, render1, render2;
    for (auto _ : state) {
        import1 =
            timed(tool + " import -j 1" + recordings + " --dir '" + (dir / "i1").string() + "'");
        import2 =
            timed(tool + " import -j 2" + recordings + " --dir '" + (dir / "i2").string() + "'");
        // Twenty of each imported file, as a night of a busy site gives.
        std::filesystem::create_directories(dir / "night");
        int n = 0;
        for (int copy = 0; copy < 20; ++copy) {
            for (const auto& entry : std::filesystem::directory_iterator(dir / "i1")) {
                char name[16];
                std::snprintf(name, sizeof name, "P%07d.00#", n++);
                std::filesystem::copy_file(entry.path(), dir / "night" / name);
            }
        }
        const std::string render = tool + " render '" + (dir / "night").string() + "' --png-dir '";
        render1 = timed(render + (dir / "png1").string() + "' -j 1");
        render2 = timed(render + (dir / "png2").string() + "' -j 2");
    }
    if (import1.wall < 0 || import2.wall < 0 || render1.wall < 0 || render2.wall < 0) {
        state.SkipWithError("a command failed");
    }
    state.counters["import_s"] = import1.wall;
    state.counters["import_j2_speedup"] = import1.wall / import2.wall;
    state.counters["import_j2_cpu_per_wall"] = import2.cpu / import2.wall;
    state.counters["render_s"] = render1.wall;
    state.counters["render_j2_speedup"] = render1.wall / render2.wall;
    state.counters["render_j2_cpu_per_wall"] = render2.cpu / render2.wall;
    std::filesystem::remove_all(dir);
}

BENCHMARK(importAndRenderOnTwoCores)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
