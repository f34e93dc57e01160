// The station's web page on the loopback address while the station records the simulator's
// busiest night. Goals: /api/status under 50 ms; the page with its twenty pictures (once they
// are made) under 500 ms; a client asking 50 times a second adds little to the recorder's
// processor time (compare recorder_cpu_percent at 0 and 50 requests a second).
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "tests/display/SyntheticSequence.h"
#include "tests/support/PrivateFolders.h"
#include "tests/tools/ChildProcess.h"
#include "tests/tools/HttpClient.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

// A station recording the simulator's `mix`, with twenty passes already in tonight's folder;
// the simulator logs what it sent, and when, to root/sim.log.
struct Station {
    fs::path root;
    int http = 0;
    std::unique_ptr<ChildProcess> module, station;
    std::vector<std::string> names;
    fs::path tonight;  // the folder of the twenty passes

    explicit Station(const std::vector<std::string>& mix) {
        char pattern[] = "/tmp/zelkora-web-bench-XXXXXX";
        root = ::mkdtemp(pattern);
        testing_support::usePrivateFolders(root, "[Zelkora]\nautoMaxTBC=1000000\n");
        ::setenv("TZ", "UTC", 1);
        // Tonight's folder: the evening's date, the night running from noon to noon.
        const std::time_t evening = std::time(nullptr) - 12 * 3600;
        std::tm tm{};
        ::gmtime_r(&evening, &tm);
        char night[16];
        std::strftime(night, sizeof night, "%Y-%m-%d", &tm);
        tonight = root / "out" / night;
        fs::create_directories(tonight);
        for (uint32_t i = 0; i < 20; ++i) {
            synthetic::CallPlan plan;
            plan.calls = 40;
            plan.dotsPerCall = 40;
            plan.noiseDots = 6;
            plan.seed = i;
            const auto image = synthetic::encode(*synthetic::makeCalls(plan));
            char name[16];
            std::snprintf(name, sizeof name, "[B%06u.00#", i);
            names.push_back(name);
            std::ofstream(root / "out" / night / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(image.data()),
                       static_cast<std::streamsize>(image.size()));
        }
        std::vector<std::string> args{kTool, "simulate-module", "--log",
                                      (root / "sim.log").string()};
        args.insert(args.end(), mix.begin(), mix.end());
        module = std::make_unique<ChildProcess>(args, (root / "sim.err").string());
        std::string first;
        if (!module->readLine(first, 5000)) return;
        http = testing_support::freeLoopbackPort();
        station = std::make_unique<ChildProcess>(
            std::vector<std::string>{kTool, "station", "--now", "--dir", (root / "out").string(),
                                     "--port", first.substr(3, first.find(':') - 3), "--http",
                                     std::to_string(http)},
            (root / "station.err").string());
        for (std::string line; station->readLine(line, 10000);) {
            if (line.find("start: recording") != std::string::npos) break;
        }
    }
    ~Station() {
        if (station) {
            station->signal(SIGTERM);
            station->wait(10000);
        }
        if (module) {
            module->signal(SIGTERM);
            module->wait(5000);
        }
        fs::remove_all(root);
    }

    int get(const std::string& target) {
        return testing_support::request(http, testing_support::get(target));
    }

    // The processor time so far of the station's threads, in seconds: those of its web
    // server (named "web") or the others, which record.
    double cpuSeconds(bool web) const {
        double ticks = 0;
        const fs::path tasks = "/proc/" + std::to_string(station->pid()) + "/task";
        std::error_code ec;
        for (const auto& task : fs::directory_iterator(tasks, ec)) {
            std::ifstream in(task.path() / "stat");
            const std::string text((std::istreambuf_iterator<char>(in)), {});
            const size_t open = text.find('('), close = text.rfind(')');
            if (open == std::string::npos || close == std::string::npos) continue;
            if ((text.substr(open + 1, close - open - 1) == "web") != web) continue;
            std::istringstream fields(text.substr(close + 2));
            std::string skip;
            for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
            double user = 0, system = 0;
            fields >> user >> system;
            ticks += user + system;
        }
        return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
};

// The busiest night, for every benchmark but the live view's delay.
Station& station() {
    static Station s(
        {"--mix", "night", "--calls-per-second", "10", "--noise-load", "95", "--seed", "1"});
    return s;
}

void StatusRequest(benchmark::State& state) {
    Station& s = station();
    for (auto _ : state) {
        if (s.get("/api/status") != 200) state.SkipWithError("status failed");
    }
}
BENCHMARK(StatusRequest)->UseRealTime()->Unit(benchmark::kMillisecond);

// Times `requests` and then the pictures of `names` (a request each, `query` after it), as a
// browser asks for them one after another (it asks for several at once). The first round,
// untimed, makes the pictures.
void timePage(benchmark::State& state, const std::vector<std::string>& requests,
              const std::vector<std::string>& names, const std::string& query) {
    Station& s = station();
    auto load = [&] {
        bool ok = true;
        for (const std::string& request : requests) ok = ok && s.get(request) == 200;
        for (const std::string& name : names) {
            ok = ok && s.get("/api/files/%5B" + name.substr(1, name.size() - 2) + "%23.png" +
                             query) == 200;
        }
        return ok;
    };
    if (!load()) state.SkipWithError("the page failed");
    for (auto _ : state) {
        if (!load()) state.SkipWithError("the page failed");
    }
}

// The page as a browser loads it: the page, the status, the list of twenty passes and their
// pictures.
void PageWithTwentyPictures(benchmark::State& state) {
    timePage(state, {"/", "/api/status", "/api/files?limit=20", "/api/activity"}, station().names,
             "");
}
BENCHMARK(PageWithTwentyPictures)->UseRealTime()->Unit(benchmark::kMillisecond);

// A past night of 20 000 passes (one every two seconds for eleven hours) as the page asks for
// it: the newest twenty with their pictures and the activity. Goal: as the page of twenty
// pictures, under 500 ms; the listing must not cost a walk of every file's path.
void BigPastNight(benchmark::State& state) {
    Station& s = station();
    const fs::path folder = s.root / "out" / "2024-06-21";
    const bool made = fs::exists(folder);
    fs::create_directories(folder);
    std::vector<std::string> newest;
    for (int i = 0; i < 20000; ++i) {
        const int t = 20 * 3600 + 2 * i;  // from 20:00 on the 21st
        char name[16];
        std::snprintf(name, sizeof name, "[L%02d%02d%02d.%02d#", 21 + t / 86400, t / 3600 % 24,
                      t / 60 % 60, t % 60);
        if (!made) fs::create_hard_link(s.tonight / s.names[0], folder / name);
        if (i >= 20000 - 20) newest.push_back(name);
    }
    timePage(state, {"/api/files?night=2024-06-21&limit=20", "/api/activity?night=2024-06-21"},
             newest, "?night=2024-06-21");
}
BENCHMARK(BigPastNight)->UseRealTime()->Unit(benchmark::kMillisecond);

// The recorder's processor time over 20 s, without a client and with one asking for the
// status and the list of passes 50 times a second.
void RecorderCpu(benchmark::State& state) {
    Station& s = station();
    const int rate = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const double before = s.cpuSeconds(false), webBefore = s.cpuSeconds(true);
        const auto begin = std::chrono::steady_clock::now();
        const auto end = begin + std::chrono::seconds(20);
        int asked = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (rate > 0) {
                s.get(asked % 2 ? "/api/status" : "/api/files?limit=20");
                ++asked;
                std::this_thread::sleep_until(begin +
                                              asked * std::chrono::milliseconds(1000 / rate));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        // Threads that ended meanwhile are not counted; the recorder's live all run long.
        state.counters["recorder_cpu_percent"] = (s.cpuSeconds(false) - before) / 20.0 * 100.0;
        state.counters["web_cpu_percent"] = (s.cpuSeconds(true) - webBefore) / 20.0 * 100.0;
        state.counters["requests"] = asked;
    }
}
BENCHMARK(RecorderCpu)->Arg(0)->Arg(50)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// From a pass leaving the module to its first dots reaching a live view: passes separated by
// silence, each start taken from the simulator's log of its writes (the machine's clock) and
// matched with the first live event that arrives after it. Goal: under a second.
void LiveDelay(benchmark::State& state) {
    for (auto _ : state) {
        Station s({"--mix", "passes", "--calls-per-second", "10"});
        testing_support::HttpConnection live(s.http);
        live.send(testing_support::get("/api/live"));
        std::vector<int64_t> arrivals;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < end) {
            const std::string chunk = live.receiveSome(200);
            if (chunk.find("data: ") != std::string::npos) arrivals.push_back(nowUs());
        }
        std::vector<int64_t> starts;  // writes after 300 ms or more of silence
        std::ifstream log(s.root / "sim.log");
        int64_t last = 0;
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("W ", 0) != 0) continue;
            const int64_t t = std::stoll(line.substr(2));
            if (last > 0 && t - last >= 300000) starts.push_back(t);
            last = t;
        }
        std::vector<double> delays;
        for (const int64_t t : starts) {
            const auto it = std::lower_bound(arrivals.begin(), arrivals.end(), t);
            if (it != arrivals.end()) delays.push_back(static_cast<double>(*it - t) / 1000.0);
        }
        if (delays.empty()) {
            state.SkipWithError("no pass reached the live view");
            continue;
        }
        std::sort(delays.begin(), delays.end());
        state.counters["passes"] = static_cast<double>(delays.size());
        state.counters["delay_median_ms"] = delays[delays.size() / 2];
        state.counters["delay_max_ms"] = delays.back();
    }
}
BENCHMARK(LiveDelay)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
