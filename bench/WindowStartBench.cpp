// How long the viewer takes, from the command to the first pixels of its window on the
// screen, with a sequence folder of 10^5 and of 10^6 files, against a minimal Qt window on
// the same virtual display. Goals: within 0.2 s of the minimal window with 10^5 files, and
// under 1 s with 10^6. Each figure is the median of five starts; the screen is watched from
// this process, so the programs are timed as a user sees them, loading and all.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/display/SyntheticSequence.h"
#include "tests/support/XSession.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kBinaries = ZELKORA_BINARY_DIR;

// A folder of `count` sequence files, one of them (the newest, which the window opens) a
// real sequence and the rest one byte each, which the window does not read before it shows.
class Card {
  public:
    explicit Card(int count) {
        root_ = fs::temp_directory_path() / ("zelkora-bench-card-" + std::to_string(count));
        fs::remove_all(root_);
        const fs::path folder = root_ / "Batfiles";
        fs::create_directories(folder);
        char name[32];
        for (int i = 0; i < count - 1; ++i) {
            std::snprintf(name, sizeof name, "P%07d.%02d#", i / 60, i % 60);
            std::ofstream(folder / name) << "x";
        }
        std::snprintf(name, sizeof name, "P%07d.%02d#", (count - 1) / 60, (count - 1) % 60);
        synthetic::CallPlan plan;
        plan.calls = 40;
        const std::vector<uint8_t> image = synthetic::encode(*synthetic::makeCalls(plan));
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        fs::create_directories(root_ / "config/Chirova");
        std::ofstream(root_ / "config/Chirova/zelkora.ini")
            << "[Zelkora]\nGPath=" << folder.string() << "/\nName=" << name
            << "\nGraphicsSystem=0\n";
    }
    ~Card() { fs::remove_all(root_); }
    std::string config() const { return (root_ / "config").string(); }

  private:
    fs::path root_;
};

// The middle of the screen as it is now.
QImage middle() {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect r = screen->geometry();
    return screen->grabWindow(0, r.width() / 2 - 16, r.height() / 2 - 16, 32, 32).toImage();
}

// Seconds from starting `program` until the middle of the screen changes; -1 when it never
// does within 30 s or the program ends first.
double secondsToFirstPixels(const std::string& program, const std::string& config) {
    const QImage before = middle();
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (!config.empty()) setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    double seconds = -1;
    while (Clock::now() - start < std::chrono::seconds(30)) {
        if (middle() != before) {
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            break;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) return -1;
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    // The screen back to its empty self before the next start.
    while (middle() != before && Clock::now() - start < std::chrono::seconds(60)) {
    }
    return seconds;
}

double medianOfFive(const std::string& program, const std::string& config) {
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) runs.push_back(secondsToFirstPixels(program, config));
    std::sort(runs.begin(), runs.end());
    return runs.front() < 0 ? -1 : runs[2];
}

void windowStart(benchmark::State& state) {
    testing_support::XSession x(800, 480, "");
    if (!x.ready()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int argc = 1;
    char name[] = "bench_window_start";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    const std::string minimal = kBinaries + "/bench/minimal_qt_window";
    const std::string viewer = kBinaries + "/platform/zelkora";
    double minimalS = -1, tenFiveS = -1, tenSixS = -1;
    for (auto _ : state) {
        minimalS = medianOfFive(minimal, "");
        {
            const Card card(100000);
            tenFiveS = medianOfFive(viewer, card.config());
        }
        {
            const Card card(1000000);
            tenSixS = medianOfFive(viewer, card.config());
        }
    }
    if (minimalS < 0 || tenFiveS < 0 || tenSixS < 0) state.SkipWithError("a window never showed");
    state.counters["minimal_window_s"] = minimalS;
    state.counters["files_1e5_s"] = tenFiveS;
    state.counters["files_1e5_over_minimal_s"] = tenFiveS - minimalS;
    state.counters["files_1e6_s"] = tenSixS;
}

BENCHMARK(windowStart)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
