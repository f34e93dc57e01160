// How long the once-a-second GPS poll holds the user-interface thread when a receiver has
// sent a full second of sentences since the last poll (3 840 bytes at 38 400 baud, 11 520 at
// 115 200), or more than one poll takes (a port that never runs dry): the port is drained, every
// byte parsed, one track record appended per GGA sentence and the position handed on. The receiver
// is a pseudo-terminal fed from the shared captures.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>

#include "app/AppSettings.h"
#include "gps/GpsLink.h"
#include "gps/GpsPoll.h"
#include "platform/PseudoTerminal.h"
#include "platform/VirtualPortRegistry.h"

namespace {

namespace fs = std::filesystem;

std::string captureText() {
    std::string text;
    const fs::path dir = fs::path(ZELKORA_SHARED_DATA) / "nmea";
    for (const char* name : {"haicom-305N.log", "mt3339.log", "ublox-lea-5h.log"}) {
        std::ifstream in(dir / name, std::ios::binary);
        text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return text;
}

void BM_PollWithBytesWaiting(benchmark::State& state) {
    const std::string text = captureText();
    if (text.size() < 4000) {
        state.SkipWithError("captures not present");
        return;
    }
    std::random_device rd;
    const fs::path folder =
        fs::temp_directory_path() / ("zelkora-gps-bench-" + std::to_string(rd()));
    fs::create_directories(folder);
    appSettings().GPath = folder.string() + "/";

    platform::PseudoTerminal pty;
    platform::VirtualPortRegistry registry;
    std::string error;
    int32_t number = -1;
    if (pty.open(&error))
        number = registry.registerPort(pty.slavePath(), "GPS benchmark", 0, &error);
    if (number < 0) {
        state.SkipWithError(("no pseudo-terminal: " + error).c_str());
        return;
    }
    appSettings().GPSport = number;
    appSettings().GPSbaudrate = 38400;
    GpsLink link;
    GpsPoll poll(link);
    poll.setConnected(true);
    if (!link.Connect()) {
        registry.unregisterPort(number);
        state.SkipWithError("cannot connect");
        return;
    }
    const size_t kSecondOfBytes = static_cast<size_t>(state.range(0));
    size_t at = 0;
    int64_t records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (at + kSecondOfBytes > text.size()) at = 0;
        std::span<const uint8_t> chunk(reinterpret_cast<const uint8_t*>(text.data()) + at,
                                       kSecondOfBytes);
        at += kSecondOfBytes;
        while (!chunk.empty()) {
            const int32_t n = pty.write(chunk, 100);
            if (n <= 0) break;
            chunk = chunk.subspan(static_cast<size_t>(n));
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(poll.Poll());
        records += poll.staleness() == 0;
    }
    state.counters["polls_with_fix"] = static_cast<double>(records);
    link.Disconnect();
    registry.unregisterPort(number);
    std::error_code ec;
    fs::remove_all(folder, ec);
}
// A second at 38 400 and at 115 200 baud, and as much as one poll parses from a port that
// never runs dry.
BENCHMARK(BM_PollWithBytesWaiting)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(300)
    ->Arg(38400 / 10)
    ->Arg(115200 / 10)
    ->Arg(GpsLink::kMaxDrainBytes);

}  // namespace

BENCHMARK_MAIN();
