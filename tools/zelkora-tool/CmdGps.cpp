// zelkora-tool gps: a headless GPS logger. Connects the GPS link, polls it once a second as
// the document does, writes the track file and prints the map's status line each second.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/AppSettings.h"
#include "gps/GpsLink.h"
#include "gps/GpsMap.h"
#include "gps/GpsPoll.h"
#include "platform/MessageSink.h"
#include "platform/StopSignals.h"
#include "platform/qt/QtProfileStore.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kName = "gps";
constexpr const char* kUsage = "zelkora-tool gps [--port N] [--baud B] [--seconds S] [--dir DIR]";
constexpr const char* kHelp =
    "Logs a GPS receiver without a window: connects to port N at B baud (both default to the\n"
    "GPS settings: port 8, 38400 baud on a first start), polls the port once a second,\n"
    "appends one 32-byte record per accepted GGA sentence to DIR/GPS.zlg (DIR defaults to\n"
    "the sequence folder of the settings) and\n"
    "prints the map's status line each second. Record times are the computer's clock in UTC,\n"
    "as the system gives it (its time zone and summer time need no setting here).\n"
    "Stops after S seconds (default: never) or on SIGINT/SIGTERM/SIGHUP, parsing what is waiting "
    "on\n"
    "the port first. Exit status 1 when the port cannot be opened.\n";

int run(const std::vector<std::string>& argv) {
    tool::ToolArgs args({"--port", "--baud", "--seconds", "--dir"}, {});
    if (const auto done = tool::parseOptionsOnly(args, argv, kName, kUsage, kHelp)) return *done;
    // The user's GPS port, rate and sequence folder are the defaults; nothing is saved back.
    AppSettings& s = appSettings();
    {
        platform::QtProfileStore store;
        s.load(store);
    }
    auto port = args.integer("--port", s.GPSport, 1, 9999);
    auto baud = args.integer("--baud", s.GPSbaudrate, 50, 4000000);
    auto seconds = args.integer("--seconds", 0, 0, INT32_MAX);
    if (!port || !baud || !seconds) return tool::usageError(kName, args.error(), kUsage);
    std::string dir = args.value("--dir").value_or(s.GPath);
    if (dir.empty()) return tool::usageError(kName, "--dir needs a folder", kUsage);
    if (dir.back() != '/') dir += '/';
    s.GPSport = static_cast<int32_t>(*port);
    s.GPSbaudrate = static_cast<int32_t>(*baud);
    s.GPath = dir;

    GpsLink link;
    GpsMap map;
    map.InitMap(dir);
    link.setFixObserver([&map](const GpsFix& f) { map.UpdateStatus(f); });
    GpsPoll poll(link);
    poll.setConnected(true);
    if (!link.Connect()) {
        if (link.PortInUse()) {
            std::fprintf(stderr, "zelkora-tool %s: %s (Port %d is in use)\n", kName,
                         GpsLink::kConnectionFailed, link.portNumber());
        } else {
            std::fprintf(stderr, "zelkora-tool %s: %s (port %d)\n", kName,
                         GpsLink::kConnectionFailed, link.portNumber());
        }
        return tool::kExitFailure;
    }
    platform::installStopSignalHandlers();

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    int64_t tick = 0;
    int status = tool::kExitOk;
    while (!platform::stopSignalReceived()) {
        const Clock::time_point due = start + std::chrono::seconds(tick + 1);
        while (Clock::now() < due && !platform::stopSignalReceived()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (platform::stopSignalReceived()) break;
        ++tick;
        const int32_t fixClass = poll.Poll();
        (void)fixClass;
        if (std::printf("%s\n", map.statusText().c_str()) < 0 || std::fflush(stdout) != 0) {
            status = tool::kExitFailure;
            break;
        }
        if (*seconds > 0 && tick >= *seconds) break;
    }
    link.Drain();  // what arrived since the last poll still belongs to the track
    link.Disconnect();
    return status;
}

const tool::CommandRegistration registration{
    {kName, "log a GPS receiver to the track file without a window", &run}};

}  // namespace
