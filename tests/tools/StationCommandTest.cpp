// zelkora-tool station end to end: the module simulator (and the GPS simulator) on
// pseudo-terminals, the station recording into its nightly folder, its log and status file,
// and what a night brings: a module or GPS receiver unplugged and plugged back, a base folder
// that turned read-only, a full disk. Every fault reaches the log, once, with its time.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "ChildProcess.h"
#include "HttpClient.h"
#include "SimulatorLog.h"
#include "gps/GpsReceiver.h"
#include "support/PrivateFolders.h"
#include "support/SmallVolume.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

using testing_support::ChildProcess;
using testing_support::findRun;
using testing_support::readLog;
using testing_support::readSaved;
using testing_support::readText;

namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";
const fs::path kCapture = fs::path(ZELKORA_SHARED_DATA) / "nmea" / "bt-q818.log";

std::string dateOf(std::time_t t) {
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", std::gmtime(&t));
    return text;
}

// The first position the receiver accepts from an NMEA capture, as the station reads it.
bool firstPosition(const fs::path& capture, double& lat, double& lon) {
    std::ifstream in(capture, std::ios::binary);
    GpsReceiver rx;
    for (char c = 0; in.get(c);) {
        if ((rx.AddChar(static_cast<uint8_t>(c)) & GpsReceiver::kGga) &&
            (rx.validity() & GpsReceiver::kValidFix)) {
            lat = rx.current().latitude;
            lon = rx.current().longitude;
            return true;
        }
    }
    return false;
}

std::string field(const std::string& text, const std::string& key) {
    const auto at = text.find(key + "=");
    if (at == std::string::npos) return {};
    return text.substr(at + key.size() + 1, text.find('\n', at) - at - key.size() - 1);
}

std::time_t parseUtc(const std::string& text) {
    std::tm tm{};
    if (!::strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm)) return 0;
    return ::timegm(&tm);
}

// "YYYY-MM-DD", as the station names its nightly folders.
bool isDate(const std::string& text) {
    return text.size() == 10 && parseUtc(text + "T00:00:00Z") > 0;
}

class StationCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        // Short passes end in files within seconds.
        testing_support::usePrivateFolders(root, "[Zelkora]\nautoMaxTBC=1000000\n");
        // Local dates are UTC dates here, whatever zone the machine is in.
        ::setenv("TZ", "UTC", 1);
        std::signal(SIGPIPE, SIG_IGN);
    }
    void TearDown() override { ::unsetenv("TZ"); }

    // Starts the module simulator, or the GPS simulator on the capture, on `port` when given;
    // returns its port number, -1 when it did not say one.
    int startModule(int port = 0) {
        std::vector<std::string> args{kTool, "simulate-module", "--log",
                                      (root / ("sim" + std::to_string(logs++) + ".log")).string()};
        args.insert(args.end(), moduleMix.begin(), moduleMix.end());
        return startSimulator(module, args, port, "sim.err");
    }
    int startGps(int port = 0) {
        return startSimulator(
            gps, {kTool, "simulate-gps", "--nmea", kCapture.string(), "--baud", "115200", "--loop"},
            port, "gps.err");
    }
    int startSimulator(std::unique_ptr<ChildProcess>& simulator, std::vector<std::string> args,
                       int port, const std::string& errors) {
        if (port > 0) {
            args.push_back("--port");
            args.push_back(std::to_string(port));
        }
        simulator = std::make_unique<ChildProcess>(args, (root / errors).string());
        std::string first;
        if (!simulator->readLine(first, 5000) || first.rfind("COM", 0) != 0) return -1;
        return std::atoi(first.c_str() + 3);
    }
    void stopModule() { stop(*module); }
    void stopGps() { stop(*gps); }
    static void stop(ChildProcess& simulator) {
        simulator.signal(SIGTERM);
        EXPECT_EQ(simulator.wait(5000), 0);
    }

    // The station started next reads this config.
    void writeConfig(const std::string& text) { std::ofstream(root / "station.conf") << text; }

    // `prefix`: what the station runs under (a zone and a moved clock).
    std::unique_ptr<ChildProcess> startStation(const std::vector<std::string>& options,
                                               std::vector<std::string> prefix = {}) {
        std::vector<std::string> args = std::move(prefix);
        args.insert(args.end(), {kTool, "station", "--dir", out.string()});
        if (fs::exists(root / "station.conf")) {
            args.insert(args.end(), {"--config", (root / "station.conf").string()});
        }
        args.insert(args.end(), options.begin(), options.end());
        return std::make_unique<ChildProcess>(args, (root / "station.err").string());
    }

    // Reads the station's output until a line holding `text`, for at most `ms`.
    bool waitFor(ChildProcess& station, const std::string& text, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::string line;
        while (std::chrono::steady_clock::now() < end) {
            if (!station.readLine(line, 200)) continue;
            seen += line + "\n";
            if (line.find(text) != std::string::npos) {
                matched = line;
                return true;
            }
        }
        return false;
    }

    // Every file of `folder` (but the GPS's track log) decodes and is a stretch of what a
    // simulator log says was sent.
    int checkFiles(const fs::path& folder) {
        std::vector<std::vector<testing_support::LoggedInterval>> sent;
        for (int i = 0; i < logs; ++i)
            sent.push_back(readLog(root / ("sim" + std::to_string(i) + ".log")));
        int files = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name == "GPS.zlg") continue;
            EXPECT_EQ(name.back(), '#') << "not a sequence file: " << name;
            const auto f = readSaved(folder, name);
            EXPECT_FALSE(f.intervals.empty()) << name;
            bool found = false;
            for (const auto& log : sent) found = found || findRun(log, f.intervals) >= 0;
            EXPECT_TRUE(found) << name << " is not a stretch of what was sent";
            ++files;
        }
        return files;
    }

    // checkFiles over every nightly folder the station made (its hidden store of the page's
    // pictures aside). A run that passes local noon rightly splits its files between two
    // nights, so the tests take them all rather than guessing the night from their own clock.
    int checkNights() {
        int files = 0;
        for (const auto& entry : fs::directory_iterator(out)) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_directory() || name == ".pictures") continue;
            EXPECT_TRUE(isDate(name)) << "not a nightly folder: " << name;
            files += checkFiles(entry.path());
        }
        return files;
    }

    std::string statusLine() const {
        return readText((statusFile.empty() ? out / "station.status" : statusFile).string());
    }

    // Waits at most `ms` for the status file to match `pattern`.
    bool statusHolds(const std::string& pattern, int ms) const {
        const std::regex re(pattern);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (std::regex_search(statusLine(), re)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    TempDir dir;
    fs::path root{dir.path()};
    fs::path out = root / "out";
    fs::path statusFile;  // where the config puts the status file, when not in `out`
    std::vector<std::string> moduleMix{"--mix", "passes", "--calls-per-second", "10"};
    std::unique_ptr<ChildProcess> module, gps;
    int logs = 0;
    std::string seen;
    std::string matched;  // the line waitFor found last
};

// When the station says a line happened: its UTC stamp.
std::time_t stampOf(const std::string& line) {
    return parseUtc(line.substr(0, line.find(' ')));
}

// Asked for a web page off the loopback address without a token, the station serves none
// and says why, and records all the same.
TEST_F(StationCommand, RecordsNowIntoTheNightlyFolderWithLogAndStatus) {
    const int port = startModule();
    ASSERT_GT(port, 0);
    writeConfig("# a test station\nport = " + std::to_string(port) + "\n");
    const int http = testing_support::freeLoopbackPort();
    auto station =
        startStation({"--now", "--http", "0.0.0.0:" + std::to_string(http), "--seconds", "8"});
    ASSERT_TRUE(waitFor(*station, "start: recording", 8000)) << seen;
    EXPECT_NE(seen.find("fault: the web page is not served on 0.0.0.0:" + std::to_string(http) +
                        ": an address other than the loopback needs http_token"),
              std::string::npos)
        << seen;
    EXPECT_FALSE(testing_support::HttpConnection(http).connected());
    EXPECT_EQ(station->wait(20000), 0) << readText((root / "station.err").string());
    stopModule();
    EXPECT_NE(readText((root / "station.err").string()).find("needs http_token"),
              std::string::npos);

    // The night the station says it is in (the evening's date: a night runs from noon to
    // noon) has its folder; the files of all nights are whole.
    const std::string status = statusLine();
    const std::string nightName = field(status, "night").substr(0, 10);
    ASSERT_TRUE(isDate(nightName)) << status;
    const fs::path night = out / nightName;
    ASSERT_TRUE(fs::is_directory(night)) << night;
    const int allFiles = checkNights();
    EXPECT_GE(allFiles, 2);
    const int files = checkFiles(night);

    const std::string log = readText((out / "station.log").string());
    EXPECT_NE(log.find("start: recording on port " + std::to_string(port)), std::string::npos)
        << log;
    EXPECT_NE(log.find("stop: the station ends"), std::string::npos) << log;
    EXPECT_EQ(testing_support::occurrences(log, " saved "), static_cast<size_t>(allFiles));
    const std::regex stopped("^state=stopped night=" + nightName + " files=" +
                             std::to_string(files) + " last=\\S+ free_mb=[0-9]+ gps=off\n");
    EXPECT_TRUE(std::regex_search(status, stopped)) << status;
}

// The clocks go back in London at 02:00 BST on 2026-10-25 (01:00 UTC): the station, its clock
// moved by faketime to just before, records across it. Every file starts at the wall clock's
// reading at its first dot, which the log's UTC stamp of its save follows within a few
// seconds: an hour ahead of UTC before the change, none after. All of the night's files go
// into the evening's folder.
TEST_F(StationCommand, FilesAcrossTheEndOfSummerTimeCarryTheWallClock) {
    if (!fs::exists("/usr/bin/faketime")) GTEST_SKIP() << "faketime is not installed";
    const int port = startModule();
    ASSERT_GT(port, 0);
    std::tm change{};
    change.tm_year = 2026 - 1900;
    change.tm_mon = 9;
    change.tm_mday = 25;
    change.tm_hour = 1;
    const std::time_t back = ::timegm(&change);
    // The station's offset replaces this process's: when the whole run's clock is moved
    // (scripts/clock-check.sh), the offset counts from the real clock.
    std::time_t realNow = std::time(nullptr);
    if (const char* moved = std::getenv("FAKETIME"); moved && (*moved == '+' || *moved == '-'))
        realNow -= std::strtoll(moved, nullptr, 10);
    const std::string shift = std::to_string(back - 8 - realNow);
    // As on a real machine, the change moves the wall clock, not the monotonic one that
    // time-outs and waits use.
    auto station =
        startStation({"--now", "--port", std::to_string(port), "--seconds", "30"},
                     {"/usr/bin/env", "TZ=Europe/London", "FAKETIME_DONT_FAKE_MONOTONIC=1",
                      "/usr/bin/faketime", "-f", shift});
    EXPECT_EQ(station->wait(90000), 0) << readText((root / "station.err").string());
    stopModule();

    const std::string log = readText((out / "station.log").string());
    const std::regex saved("([0-9T:-]+Z) saved ([0-9-]+)/(\\S+)");
    int files = 0, afterChange = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), saved);
         it != std::sregex_iterator(); ++it, ++files) {
        const std::string name = (*it)[3];
        EXPECT_EQ((*it)[2], "2026-10-24") << name;
        const std::time_t savedAt = parseUtc((*it)[1]);
        const auto file = readSaved(out / "2026-10-24", name);
        ASSERT_TRUE(file.start.isValid()) << name;
        const std::time_t wall = file.start.value() / JulianTime::kSecond;
        bool fits = false;
        for (const std::time_t offset : {3600, 0}) {
            const std::time_t at = wall - offset;
            if ((at < back ? 3600 : 0) != offset || at > savedAt || at < savedAt - 300) continue;
            fits = true;
            if (at >= back) ++afterChange;
        }
        EXPECT_TRUE(fits) << name << " saved at " << (*it)[1];
    }
    EXPECT_GE(afterChange, 1) << log;
    EXPECT_EQ(files, checkNights()) << log;
}

// A night's unplugging: a GPS receiver plugged in after the station started is connected and
// gives the position; unplugged, its loss is said once, in the log and the status, and
// plugged back it is read again. Then the module: unplugged, it is searched for, and plugged
// back it records again until SIGTERM ends the station cleanly, saving what was under way.
// Both are found again within seconds, long before the search interval of 30 s.
// Without the captures the receiver stays absent and only the module is unplugged.
TEST_F(StationCommand, AGpsOrModuleUnpluggedIsFoundAgainAndSigtermEndsCleanly) {
    const int port = startModule();
    ASSERT_GT(port, 0);
    writeConfig("search_interval=30\ngps=4321\ngps_baud=115200\n");
    auto station = startStation({"--now", "--port", std::to_string(port)});
    ASSERT_TRUE(waitFor(*station, "fault: GPS port 4321", 5000)) << seen;
    ASSERT_TRUE(waitFor(*station, "start: recording", 5000)) << seen;
    if (fs::exists(kCapture)) {
        ASSERT_EQ(startGps(4321), 4321);
        ASSERT_TRUE(waitFor(*station, "GPS on port 4321", 6000)) << seen;
        ASSERT_TRUE(waitFor(*station, "position from the GPS", 8000)) << seen;
        // The capture's receiver lives in another year than this machine's clock.
        EXPECT_TRUE(waitFor(*station, "fault: the machine's clock is ", 3000)) << seen;

        stopGps();  // unplugged: the receiver's pseudo-terminal goes away
        ASSERT_TRUE(
            waitFor(*station, "fault: the GPS on port 4321 has gone; tried again every 30 s", 5000))
            << seen;
        EXPECT_TRUE(statusHolds(" gps=lost\n", 3000)) << statusLine();

        ASSERT_EQ(startGps(4321), 4321);  // plugged back
        ASSERT_TRUE(waitFor(*station, "GPS on port 4321 again", 5000)) << seen;
        // A fix from the receiver read again: the old one went with the loss.
        EXPECT_TRUE(statusHolds(" gps=-?[0-9]+\\.[0-9]+,-?[0-9]+\\.", 5000)) << statusLine();
    } else {
        std::this_thread::sleep_for(std::chrono::seconds(2));  // a file or two before the unplug
    }

    stopModule();  // unplugged: the pseudo-terminal goes away
    ASSERT_TRUE(waitFor(*station, "searching for the module every 30 s", 5000)) << seen;
    EXPECT_NE(seen.find("fault: the DETLINK module on port " + std::to_string(port) + " has gone"),
              std::string::npos)
        << seen;
    EXPECT_TRUE(statusHolds("state=searching", 5000)) << statusLine();
    ASSERT_EQ(startModule(port), port);  // plugged back
    ASSERT_TRUE(waitFor(*station, "start: recording", 8000)) << seen;
    const size_t replugged = seen.size();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    station->signal(SIGTERM);
    EXPECT_TRUE(waitFor(*station, "station ended", 5000)) << seen;
    EXPECT_EQ(station->wait(5000), 0);
    if (gps) stopGps();
    stopModule();
    EXPECT_NE(seen.find("saved ", replugged), std::string::npos) << seen;
    EXPECT_GE(checkNights(), 2);
    const std::string log = readText((out / "station.log").string());
    EXPECT_EQ(testing_support::occurrences(log, "has gone"), gps ? 2u : 1u) << log;
    // Every line of the log carries its time.
    EXPECT_TRUE(std::regex_search(log, std::regex("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z ")));
    EXPECT_FALSE(std::regex_search(log, std::regex("\n[^0-9\n]"))) << log;
}

TEST_F(StationCommand, LowDiskStopsSavingAndSpaceReturningResumesIt) {
    SmallVolume volume(4096);
    if (!volume.ok()) GTEST_SKIP() << volume.reason();
    const int port = startModule();
    ASSERT_GT(port, 0);
    // The log and status stay off the small volume, so they can tell what happens on it.
    statusFile = root / "station.status";
    writeConfig("min_free_mb=1\nlog=" + (root / "station.log").string() +
                "\nstatus=" + statusFile.string() + "\n");
    out = volume.path();
    auto station = startStation({"--now", "--port", std::to_string(port)});
    ASSERT_TRUE(waitFor(*station, "saved ", 20000)) << seen;
    // Something else fills the card to half a megabyte short of its end.
    const fs::path filler = out / "filler";
    {
        const auto room = fs::space(out).available;
        ASSERT_GT(room, 1024u * 1024u);
        std::ofstream fill(filler, std::ios::binary);
        const std::string block(room - 512 * 1024, 'x');
        fill.write(block.data(), static_cast<std::streamsize>(block.size()));
        ASSERT_TRUE(fill.good());
    }
    ASSERT_TRUE(waitFor(*station, "MB is under 1 MB; saving stops until space returns", 5000))
        << seen;
    EXPECT_TRUE(statusHolds("state=disk-low", 5000)) << statusLine();
    fs::remove(filler);
    ASSERT_TRUE(waitFor(*station, "saving resumes", 5000)) << seen;
    ASSERT_TRUE(waitFor(*station, "start: recording", 5000)) << seen;
    // A pass may run to the longest sequence (15 s) before it is saved.
    ASSERT_TRUE(waitFor(*station, "saved ", 25000))
        << seen << readText((root / "station.err").string());
    station->signal(SIGTERM);
    EXPECT_EQ(station->wait(5000), 0) << seen;
    stopModule();
    // Everything written before and after the full disk is whole.
    EXPECT_GE(checkNights(), 2);
    EXPECT_EQ(readText((root / "station.log").string()).find("fault"), std::string::npos);
}

// A base folder that turned read-only and a status file on a full disk: each is said once in
// the log, and with nowhere to record the station ends.
TEST_F(StationCommand, AReadOnlyFolderAndAFullDiskAreSaidOnceInTheLog) {
    SmallVolume folder(256), full(64);
    if (!folder.ok() || !full.ok()) GTEST_SKIP() << folder.reason();
    ASSERT_EQ(::mount("none", folder.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    full.fill();
    const int port = startModule();
    ASSERT_GT(port, 0);
    const std::string status = full.path() + "/station.status";
    // The log cannot be written either: its lines reach the journal (standard output).
    const std::string logFile = folder.path() + "/station.log";
    writeConfig("search_interval=1\nmin_free_mb=0\nlog=" + logFile + "\nstatus=" + status + "\n");
    out = folder.path();
    auto station = startStation({"--now", "--port", std::to_string(port), "--seconds", "5"});
    EXPECT_TRUE(waitFor(*station, "station ended", 20000)) << seen;
    EXPECT_EQ(station->wait(20000), 1) << readText((root / "station.err").string());
    stopModule();
    const std::string log = seen;
    EXPECT_EQ(testing_support::occurrences(
                  log, "fault: cannot write the log " + logFile + ": Read-only file system\n"),
              1u)
        << log;
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

// A night made to begin a few seconds from now: the offsets move a night's sunset and
// sunrise, at the position the GPS simulator gives, to just ahead of the clock. The night
// is the one whose middle is nearest the clock, so that both offsets stay within the
// day the station allows at any hour the test runs.
TEST_F(StationCommand, ScheduledNightStartsAtSunsetFromTheGpsPositionAndStopsAtSunrise) {
    if (!fs::exists(kCapture)) GTEST_SKIP() << "captures not present";
    double lat = 0, lon = 0;
    ASSERT_TRUE(firstPosition(kCapture, lat, lon));

    const std::time_t now = std::time(nullptr);
    testing_support::Tool tool;
    std::string night;
    std::time_t sunset = 0, sunrise = 0;
    for (int day = -1; day <= 1; ++day) {
        const std::string date = dateOf(now + day * 86400);
        const auto printed = tool.run("station --schedule " + date + " --lat " +
                                      std::to_string(lat) + " --lon " + std::to_string(lon));
        ASSERT_EQ(printed.status, 0) << printed.err;
        const std::time_t set = parseUtc(field(printed.out, "sunset"));
        const std::time_t rise = parseUtc(field(printed.out, "sunrise"));
        ASSERT_GT(set, 0) << printed.out;
        ASSERT_GT(rise, set) << printed.out;
        if (night.empty() ||
            std::llabs((set + rise) / 2 - now) < std::llabs((sunset + sunrise) / 2 - now)) {
            night = date;
            sunset = set;
            sunrise = rise;
        }
    }

    const int port = startModule();
    ASSERT_GT(port, 0);
    const int gpsPort = startGps();
    ASSERT_GE(gpsPort, 200);

    // Time enough for the station to start and hear the GPS on a busy machine.
    const std::time_t start = now + 20, stop = now + 32;
    char offsets[128];
    std::snprintf(offsets, sizeof offsets, "sunset_offset=%.4f\nsunrise_offset=%.4f\n",
                  (static_cast<double>(start) - sunset) / 60.0,
                  (static_cast<double>(stop) - sunrise) / 60.0);
    writeConfig(std::string(offsets) + "port=" + std::to_string(port) +
                "\ngps=" + std::to_string(gpsPort) + "\ngps_baud=115200\n");
    auto station = startStation({"--seconds", "45"});
    ASSERT_TRUE(waitFor(*station, "position from the GPS", 15000)) << seen;
    ASSERT_TRUE(waitFor(*station, "night of " + night + ": sunset=", 5000)) << seen;
    EXPECT_TRUE(waitFor(*station, "waiting until ", 5000)) << seen;
    EXPECT_EQ(seen.find("start: recording"), std::string::npos) << "recorded before sunset";
    ASSERT_TRUE(waitFor(*station, "start: recording", 30000)) << seen;
    EXPECT_GE(stampOf(matched), start) << matched;
    ASSERT_TRUE(waitFor(*station, "stop: the night is over", 30000)) << seen;
    // The station looks once a second; a busy machine may delay it a little more.
    EXPECT_LE(stampOf(matched), stop + 3) << matched;
    station->signal(SIGTERM);
    EXPECT_EQ(station->wait(10000), 0) << seen;
    stopGps();
    stopModule();

    EXPECT_GE(checkFiles(out / night), 2);
}

TEST_F(StationCommand, SchedulePrinterFollowsTheTimeZoneAndSaysNoneAtThePole) {
    testing_support::Tool tool;
    // The night beginning on 10 January 2024 in Auckland (UTC+13 in summer): sunset that
    // evening about 20:43 local, sunrise the next morning about 06:13 local.
    auto r = tool.run("station --schedule 2024-01-10 --lat -36.85 --lon 174.76", "",
                      "TZ=NZST-12NZDT,M9.5.0,M4.1.0/3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 21), "sunset=2024-01-10T07:") << r.out;
    EXPECT_NE(r.out.find("\nsunrise=2024-01-10T17:1"), std::string::npos) << r.out;
    // In Los Angeles (UTC-8) the same local date ends in the next UTC day.
    r = tool.run("station --schedule 2024-01-10 --lat 34.05 --lon -118.24", "", "TZ=PST8PDT");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 21), "sunset=2024-01-11T01:") << r.out;
    EXPECT_NE(r.out.find("\nsunrise=2024-01-11T14:5"), std::string::npos) << r.out;
    r = tool.run("station --schedule 2022-06-21 --lat 78.22 --lon 15.65", "", "TZ=UTC");
    EXPECT_EQ(r.out, "sunset=none\nsunrise=none\n");

    EXPECT_EQ(tool.run("station --schedule 2024-02-30 --lat 0 --lon 0").status, 64);
    EXPECT_EQ(tool.run("station --schedule 2024-02-03 --lat 95 --lon 0").status, 64);
    EXPECT_EQ(tool.run("station --schedule 2024-02-03").status, 64);
    std::ofstream(root / "bad.conf") << "sunset_offset=soon\n";
    r = tool.run("station --config " + (root / "bad.conf").string());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("line 1: sunset_offset"), std::string::npos) << r.err;
}

// --- the web page ---

using testing_support::get;
using testing_support::HttpConnection;
using testing_support::request;

const std::string kToken = "a token for the tests only";
const std::string kBearer = "Authorization: Bearer " + kToken + "\r\n";

// Four clients asking for 30 s, a live view and an idle client, on the station's page at
// `http`.
void flood(int http) {
    HttpConnection idle(http);
    ASSERT_TRUE(idle.connected());
    HttpConnection live(http);
    ASSERT_TRUE(live.send(get("/api/live", kBearer)));
    const std::string stream = live.receive(5000);
    EXPECT_NE(stream.find("Content-Type: text/event-stream"), std::string::npos) << stream;

    const std::vector<std::string> targets{
        "/api/status", "/api/files", "/", "/api/activity", "/api/files/..%2Fstation.log",
        "/api/nothing"};
    std::atomic<int> answered{0}, refused{0}, failed{0}, lastFailure{0};
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&, c] {
            for (size_t i = static_cast<size_t>(c); std::chrono::steady_clock::now() < end; ++i) {
                const int code = request(http, get(targets[i % targets.size()], kBearer));
                if (code == 200 || code == 404) {
                    answered.fetch_add(1);
                } else if (code == 503) {
                    // Over the connection limit for a moment: a client whose closed
                    // connection a worker has not yet seen on a busy machine still counts.
                    refused.fetch_add(1);
                } else {
                    failed.fetch_add(1);
                    lastFailure.store(code);
                }
            }
        });
    }
    std::string dots;
    while (std::chrono::steady_clock::now() < end) dots += live.receive(500);
    for (auto& t : clients) t.join();
    EXPECT_GT(answered.load(), 1000);
    EXPECT_LT(refused.load() * 100, answered.load()) << "more than 1 in 100 refused";
    EXPECT_EQ(failed.load(), 0) << "the last of them answered " << lastFailure.load();
    EXPECT_NE(dots.find("data: {\"dots\":[["), std::string::npos) << dots.substr(0, 400);
    // Thinned: the line at its busiest costs a live view well under 50 kB/s.
    EXPECT_LT(dots.size(), 30u * 50u * 1024u);
    EXPECT_TRUE(idle.closedWithin(5000)) << "an idle client was kept past 30 s";
}

// What the running station refuses beyond the router's own rules (StationWebTest holds
// those): the controls without the token as configured, paths as typed, heads and bodies as
// the server measures them, heads without end, a seventeenth connection, and wrong tokens
// from connections of their own. The station's process is `pid`.
void refusals(int http, pid_t pid) {
    EXPECT_EQ(request(http, "POST /api/stop HTTP/1.1\r\nHost: s\r\nContent-Length: 0\r\n\r\n"),
              401);
    std::string files;
    EXPECT_EQ(request(http, get("/api/files", kBearer), &files), 200);
    const size_t at = files.find("{\"name\":\"");
    ASSERT_NE(at, std::string::npos) << files;
    const std::string name = files.substr(at + 9, files.find('"', at + 9) - at - 9);
    std::string encoded;
    for (char ch : name) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(ch));
        encoded += std::isalnum(static_cast<unsigned char>(ch)) ? std::string(1, ch) : hex;
    }
    std::string file;
    EXPECT_EQ(request(http, get("/api/files/" + encoded, kBearer), &file), 200);
    EXPECT_EQ(request(http, get("/api/files/" + encoded + ".png", kBearer), &file), 200);
    EXPECT_NE(file.find("\x89PNG"), std::string::npos);

    // Traversals as typed, which no library client would send: the server hands them to the
    // router unchanged (the encoded ones are the router's affair, in StationWebTest).
    for (const char* target : {"/api/files/../station.log", "/../station.log"}) {
        const int code = request(http, get(target, kBearer));
        EXPECT_TRUE(code == 404 || code == 400) << target << " gave " << code;
    }

    // Heads over 8 KiB, bodies over 4 KiB.
    EXPECT_GE(request(http, get("/api/status?" + std::string(9000, 'a'), kBearer)), 400);
    std::string headers = kBearer;
    for (int i = 0; i < 3; ++i)
        headers += "X-Filler-" + std::to_string(i) + ": " + std::string(3000, 'f') + "\r\n";
    EXPECT_EQ(request(http, get("/api/status", headers)), 431);
    EXPECT_EQ(request(http, "POST /login HTTP/1.1\r\nHost: s\r\nContent-Length: 5000\r\n\r\n" +
                                std::string(5000, 't')),
              413);

    // Headers without end are cut off long before they could fill the station's memory.
    {
        const auto rss = [&] {
            const std::string status = readText("/proc/" + std::to_string(pid) + "/status");
            return std::atol(status.c_str() + status.find("VmRSS:") + 6);
        };
        const long before = rss();
        HttpConnection endless(http);
        ASSERT_TRUE(endless.send("GET /api/status HTTP/1.1\r\nHost: s\r\n"));
        // Taken at the loopback's speed, 20 s would be gigabytes; what is taken before the cut
        // is what the sockets' buffers hold.
        EXPECT_LT(endless.sendEndlessly("X-More: " + std::string(4000, 'm') + "\r\n", 20000),
                  16u << 20);
        EXPECT_TRUE(endless.closedWithin(5000));
        EXPECT_LT(rss() - before, 16 * 1024) << "kB more held by the station";
    }

    // Sixteen connections at most: the seventeenth is answered 503 at once.
    {
        std::vector<std::unique_ptr<HttpConnection>> held;
        for (int i = 0; i < 16; ++i) held.push_back(std::make_unique<HttpConnection>(http));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let the server take them
        EXPECT_EQ(request(http, get("/api/status", kBearer)), 503);
    }
    // Freed connections serve again (the server notices each close).
    int code = 0;
    for (int i = 0; i < 50 && code != 200; ++i) {
        code = request(http, get("/api/status", kBearer));
        if (code != 200) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(code, 200);

    // Wrong tokens: five in a minute, then 429 for the right one too. Each request comes on a
    // connection of its own, from another port: the count is per address, not per connection.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(request(http, get("/api/status", "Authorization: Bearer wrong\r\n")), 401);
    }
    EXPECT_EQ(request(http, get("/api/status", "Authorization: Bearer wrong\r\n")), 429);
    EXPECT_EQ(request(http, get("/api/status", kBearer)), 429);
}

// The station's busiest night from the simulator, a flood of requests on the loopback
// address for 30 s from four clients, a live view and an idle client: the live view gets
// dots, and the idle client is dropped. Then what the page refuses, however it is asked.
// Through it all the recording loses nothing.
TEST_F(StationCommand, AFloodOfRequestsAndWhatThePageRefusesCostTheRecordingNothing) {
    moduleMix = {"--mix", "night", "--calls-per-second", "10", "--noise-load", "95", "--seed", "1"};
    const int port = startModule();
    ASSERT_GT(port, 0);
    const int http = testing_support::freeLoopbackPort();
    writeConfig("http = " + std::to_string(http) + "\nhttp_token = " + kToken + "\n");
    auto station = startStation({"--now", "--port", std::to_string(port)});
    ASSERT_TRUE(waitFor(*station, "web page on http://127.0.0.1:" + std::to_string(http), 8000))
        << seen;
    ASSERT_TRUE(waitFor(*station, "saved ", 30000)) << seen;
    ASSERT_NO_FATAL_FAILURE(flood(http));
    ASSERT_NO_FATAL_FAILURE(refusals(http, station->pid()));

    station->signal(SIGTERM);
    EXPECT_EQ(station->wait(8000), 0) << seen;
    stopModule();
    EXPECT_GE(checkNights(), 1);
    const std::string log = readText((out / "station.log").string());
    EXPECT_EQ(log.find("fault"), std::string::npos) << log;
}

}  // namespace
