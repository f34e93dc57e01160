// zelkora-tool station against what a night brings: a GPS receiver unplugged and plugged
// back (the GPS simulator on a pseudo-terminal), a base folder that turned read-only, and a
// status file on a full disk. Every fault reaches the log, once, with its time.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "ChildProcess.h"
#include "support/PrivateFolders.h"
#include "support/SmallVolume.h"
#include "support/ToolRunner.h"

using testing_support::ChildProcess;
using testing_support::readText;

namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";
const fs::path kCapture = fs::path(ZELKORA_SHARED_DATA) / "nmea" / "bt-q818.log";

class StationFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::usePrivateFolders(root.path(), "[Zelkora]\nautoMaxTBC=1000000\n");
        std::signal(SIGPIPE, SIG_IGN);
    }

    // A simulator on a pseudo-terminal: its port number, or -1.
    static int portOf(ChildProcess& simulator) {
        std::string first;
        if (!simulator.readLine(first, 5000) || first.rfind("COM", 0) != 0) return -1;
        return std::atoi(first.c_str() + 3);
    }
    std::unique_ptr<ChildProcess> startModule() {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{kTool, "simulate-module", "--mix", "passes",
                                     "--calls-per-second", "10"},
            root.file("module.err"));
    }
    std::unique_ptr<ChildProcess> startGps(int port) {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{kTool, "simulate-gps", "--nmea", kCapture.string(), "--port",
                                     std::to_string(port), "--baud", "115200", "--loop"},
            root.file("gps.err"));
    }
    std::unique_ptr<ChildProcess> startStation(const std::string& config,
                                               const std::vector<std::string>& options) {
        std::ofstream(root.file("station.conf")) << config;
        std::vector<std::string> args{kTool, "station", "--config", root.file("station.conf"),
                                      "--now"};
        args.insert(args.end(), options.begin(), options.end());
        return std::make_unique<ChildProcess>(args, root.file("station.err"));
    }
    bool waitFor(ChildProcess& station, const std::string& text, int ms) {
        return station.readUntil(text, ms, seen);
    }
    // Waits at most `ms` for the status file to match `pattern`.
    bool statusHolds(const std::string& path, const std::string& pattern, int ms) {
        const std::regex re(pattern);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (std::regex_search(readText(path), re)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    static void stop(ChildProcess& process) {
        process.signal(SIGTERM);
        process.wait(5000);
    }

    TempDir root;
    std::string seen;
};

TEST_F(StationFaults, AReceiverPluggedBackIsReadAgain) {
    if (!fs::exists(kCapture)) GTEST_SKIP() << "captures not present";
    auto module = startModule();
    const int modulePort = portOf(*module);
    ASSERT_GT(modulePort, 0);
    const int gpsPort = 4377;
    auto gps = startGps(gpsPort);
    ASSERT_EQ(portOf(*gps), gpsPort);
    const std::string status = root.file("out/station.status");
    auto station =
        startStation("search_interval=2\ngps=" + std::to_string(gpsPort) + "\ngps_baud=115200\n",
                     {"--port", std::to_string(modulePort), "--dir", root.file("out")});
    ASSERT_TRUE(waitFor(*station, "GPS on port " + std::to_string(gpsPort), 5000)) << seen;
    ASSERT_TRUE(waitFor(*station, "position from the GPS", 8000)) << seen;

    stop(*gps);  // unplugged: the receiver's pseudo-terminal goes away
    ASSERT_TRUE(waitFor(
        *station,
        "fault: the GPS on port " + std::to_string(gpsPort) + " has gone; tried again every 2 s",
        5000))
        << seen;
    EXPECT_TRUE(statusHolds(status, " gps=lost\n", 3000)) << readText(status);

    gps = startGps(gpsPort);  // plugged back
    ASSERT_EQ(portOf(*gps), gpsPort);
    ASSERT_TRUE(waitFor(*station, "GPS on port " + std::to_string(gpsPort) + " again", 5000))
        << seen;
    // A fix from the receiver read again: the old one went with the loss.
    EXPECT_TRUE(statusHolds(status, " gps=-?[0-9]+\\.[0-9]+,-?[0-9]+\\.", 5000))
        << readText(status);
    station->signal(SIGTERM);
    EXPECT_EQ(station->wait(5000), 0) << seen;
    stop(*gps);
    stop(*module);
    const std::string log = readText(root.file("out/station.log"));
    EXPECT_EQ(testing_support::occurrences(log, "has gone"), 1u) << log;
    // Every line of the log carries its time.
    EXPECT_TRUE(std::regex_search(log, std::regex("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z ")));
    EXPECT_FALSE(std::regex_search(log, std::regex("\n[^0-9\n]"))) << log;
}

TEST_F(StationFaults, AReadOnlyFolderAndAFullDiskAreSaidOnceInTheLog) {
    SmallVolume folder(256), full(64);
    if (!folder.ok() || !full.ok()) GTEST_SKIP() << folder.reason();
    ASSERT_EQ(::mount("none", folder.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    full.fill();
    auto module = startModule();
    const int modulePort = portOf(*module);
    ASSERT_GT(modulePort, 0);
    const std::string status = full.path() + "/station.status";
    auto station = startStation(
        "search_interval=1\nmin_free_mb=0\nlog=" + root.file("station.log") + "\nstatus=" + status +
            "\n",
        {"--port", std::to_string(modulePort), "--dir", folder.path(), "--seconds", "5"});
    EXPECT_EQ(station->wait(20000), 1) << readText(root.file("station.err"));
    stop(*module);
    const std::string log = readText(root.file("station.log"));
    EXPECT_EQ(
        testing_support::occurrences(log, "fault: cannot create the folder " + folder.path() + "/"),
        1u)
        << log;
    EXPECT_NE(log.find(": Read-only file system; tried again every 1 s\n"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("searching for the module"), std::string::npos) << log;
    EXPECT_EQ(testing_support::occurrences(
                  log, "fault: Cannot write file " + status + ": No space left on device\n"),
              1u)
        << log;
    EXPECT_NE(log.find("station ended without a folder to record into"), std::string::npos);
    EXPECT_FALSE(fs::exists(status));
}

}  // namespace
