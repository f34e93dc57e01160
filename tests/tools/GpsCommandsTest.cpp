// The GPS commands of zelkora-tool: nmea, track, and a capture replayed by simulate-gps
// into the headless logger gps, read back with track.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/PtyPeer.h"
#include "gps/GpsReceiver.h"
#include "gps/TrackRecord.h"

using testing_support::PrivateRuntimeDir;

namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";
const fs::path kCaptures = fs::path(ZELKORA_SHARED_DATA) / "nmea";

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun shell(const std::string& command) {
    ToolRun r;
    FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int raw = ::pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

ToolRun tool(const std::string& args) {
    return shell(kTool + " " + args);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The positions of the GGA sentences the receiver accepts in a capture, as the track file
// stores them.
std::vector<std::pair<int32_t, int32_t>> acceptedGga(const fs::path& capture) {
    std::vector<std::pair<int32_t, int32_t>> out;
    GpsReceiver rx;
    for (char c : readAll(capture)) {
        if (rx.AddChar(static_cast<uint8_t>(c)) & GpsReceiver::kGga) {
            out.emplace_back(TrackRecord::scaled(rx.current().latitude, 1e6),
                             TrackRecord::scaled(rx.current().longitude, 1e6));
        }
    }
    return out;
}

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/zelkora-gps-tool-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

TEST(NmeaCommand, OneRowPerResultWithTheFixedColumns) {
    if (!fs::exists(kCaptures)) GTEST_SKIP() << "captures not present";
    ToolRun r = tool("nmea " + (kCaptures / "bt-q818.log").string());
    ASSERT_EQ(r.status, 0);
    std::vector<std::string> rows = lines(r.out);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0],
              "result,ggaTime,quality,satellitesUsed,latitude,longitude,altitude,geoidSeparation,"
              "fixType,pdop,hdop,vdop,rmcDateTime,speed,course,satellitesInView,satelliteCount,"
              "validity");
    GpsReceiver rx;
    size_t results = 0;
    for (char c : readAll(kCaptures / "bt-q818.log")) results += rx.AddChar(c) != 0;
    EXPECT_EQ(rows.size(), results + 1);
    EXPECT_EQ(rows[1],
              "1,14:52:43.000000,2,10,34.0329400,-117.7471233,234.700,-33.200,1,-1000,-1000,-1000,"
              "1970-01-01 00:00:00.000000,-1000,-1000,0,0,3");
    EXPECT_EQ(rows[4].substr(0, 2), "8,");
    EXPECT_NE(rows[4].find(",2010-06-03 14:52:43.000000,0.000,119.270,11,11,7"), std::string::npos);
}

TEST(NmeaCommand, UsageAndMissingFile) {
    EXPECT_EQ(tool("nmea").status, 64);
    EXPECT_EQ(tool("nmea a b").status, 64);
    EXPECT_EQ(tool("nmea /nonexistent/file.log").status, 2);
    ToolRun help = tool("nmea --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("-1000"), std::string::npos);
}

TEST(TrackCommand, PrintsRecordsAndRejectsCorruptFiles) {
    TempDir dir;
    GpsFix f;
    f.latitude = -33.8688;
    f.longitude = 151.2093;
    f.altitude = -12.3456;
    f.satellitesUsed = 9;
    f.hdop = 0.87;
    std::array<uint8_t, 32> b{};
    TrackRecord::fromFix(JulianTime::fromDateTime(2026, 3, 5, 0, 4, 5, 250000), f, 7).encode(b);
    {
        std::ofstream out(dir.path() / "GPS.zlg", std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data()), 32);
        out << "partial";  // a trailing part record is ignored
    }
    ToolRun r = tool("track " + (dir.path() / "GPS.zlg").string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "date,time_ms,latitude_e6,longitude_e6,altitude_mm,status,satellites,pdop10,hdop10,"
              "vdop10\n2026-03-05,245250,-33868800,151209300,-12345,>,9,65535,8,65535\n");
    {
        std::ofstream out(dir.path() / "bad.zlg", std::ios::binary);
        out << std::string(32, 'x');
    }
    EXPECT_EQ(tool("track " + (dir.path() / "bad.zlg").string()).status, 2);
    EXPECT_EQ(tool("track " + (dir.path() / "none.zlg").string()).status, 2);
    EXPECT_EQ(tool("track").status, 64);
}

// Points the tools' settings at a private folder while it lives.
class ConfigHome {
  public:
    explicit ConfigHome(const fs::path& path) {
        if (const char* old = ::getenv("XDG_CONFIG_HOME")) old_ = old, hadOld_ = true;
        ::setenv("XDG_CONFIG_HOME", path.c_str(), 1);
    }
    ~ConfigHome() {
        if (hadOld_) {
            ::setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
    }

  private:
    std::string old_;
    bool hadOld_ = false;
};

// simulate-gps runs beside the test; its first line names the port.
class Simulator {
  public:
    explicit Simulator(const std::string& args, const std::string& command = "simulate-gps") {
        pipe_ = ::popen(("echo $$; exec " + kTool + " " + command + " " + args).c_str(), "r");
        if (!pipe_) return;
        char line[256];
        if (std::fgets(line, sizeof line, pipe_)) pid_ = std::atoi(line);
        if (std::fgets(line, sizeof line, pipe_)) firstLine_ = line;
        std::sscanf(firstLine_.c_str(), "COM%d:", &port_);
    }
    ~Simulator() { stop(); }
    int stop() {
        if (!pipe_) return -1;
        if (pid_ > 0) ::kill(pid_, SIGTERM);
        const int raw = ::pclose(pipe_);
        pipe_ = nullptr;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    int port() const { return port_; }
    const std::string& firstLine() const { return firstLine_; }

  private:
    FILE* pipe_ = nullptr;
    int pid_ = 0;
    int port_ = 0;
    std::string firstLine_;
};

class ReplayIntoLogger : public ::testing::TestWithParam<const char*> {};

TEST_P(ReplayIntoLogger, OneTrackRecordPerAcceptedGga) {
    if (!fs::exists(kCaptures)) GTEST_SKIP() << "captures not present";
    PrivateRuntimeDir runtime;
    TempDir data;
    ConfigHome config(data.path() / "config");
    const fs::path capture = kCaptures / GetParam();
    Simulator sim("--nmea " + capture.string() + " --baud 115200");
    ASSERT_GE(sim.port(), 200) << sim.firstLine();
    EXPECT_NE(sim.firstLine().find(": /dev/pts/"), std::string::npos);

    ToolRun logged = tool("gps --port " + std::to_string(sim.port()) +
                          " --baud 115200 --seconds 3 --dir " + data.path().string());
    ASSERT_EQ(logged.status, 0) << logged.out;
    std::vector<std::string> status = lines(logged.out);
    ASSERT_EQ(status.size(), 3u);
    EXPECT_NE(status.back().find("Alt"), std::string::npos) << status.back();
    EXPECT_EQ(sim.stop(), 0);

    const std::vector<std::pair<int32_t, int32_t>> expected = acceptedGga(capture);
    ASSERT_FALSE(expected.empty());
    ToolRun track = tool("track " + (data.path() / "GPS.zlg").string());
    ASSERT_EQ(track.status, 0);
    std::vector<std::string> rows = lines(track.out);
    ASSERT_EQ(rows.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i) {
        std::istringstream row(rows[i + 1]);
        std::string date, timeMs, lat, lon;
        std::getline(row, date, ',');
        std::getline(row, timeMs, ',');
        std::getline(row, lat, ',');
        std::getline(row, lon, ',');
        EXPECT_EQ(std::stol(lat), expected[i].first) << rows[i + 1];
        EXPECT_EQ(std::stol(lon), expected[i].second) << rows[i + 1];
    }
}

INSTANTIATE_TEST_SUITE_P(Captures, ReplayIntoLogger,
                         ::testing::Values("bt-q818.log", "bu353-glonass.log"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return n;
                         });

// A private home with both simulators running: a GPS replaying a capture, and a module.
struct Station {
    PrivateRuntimeDir runtime;
    TempDir data;
    ConfigHome config{data.path() / "config"};
    Simulator gps{"--nmea " + (kCaptures / "bt-q818.log").string() + " --loop"};
    Simulator module{"--calls-per-second 10 --mix passes", "simulate-module"};
    bool up() const { return gps.port() >= 200 && module.port() >= 200; }
};

// A recording with --gps against both simulators: every file carries the replayed position.
TEST(RecordWithGps, FilesCarryTheReplayedPosition) {
    if (!fs::exists(kCaptures)) GTEST_SKIP() << "captures not present";
    Station s;
    ASSERT_TRUE(s.up());
    // Record mode: each input line saves the newest data; the first after the GPS has had
    // time for a fix.
    ToolRun rec = shell("(sleep 3; echo; sleep 2; echo) | " + kTool + " record --port " +
                        std::to_string(s.module.port()) + " --gps " + std::to_string(s.gps.port()) +
                        " --seconds 6 --dir " + (s.data.path() / "seq").string());
    EXPECT_EQ(rec.status, 0) << rec.out;
    EXPECT_NE(rec.out.find("saved "), std::string::npos) << rec.out;
    s.module.stop();
    s.gps.stop();
    int files = 0;
    for (const auto& entry : fs::directory_iterator(s.data.path() / "seq")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.back() != '#') continue;
        ++files;
        ToolRun info = tool("info '" + entry.path().string() + "'");
        EXPECT_NE(info.out.find("position: WGS84     N3403294 W11774712 235"), std::string::npos)
            << info.out;
    }
    EXPECT_GE(files, 1);
    EXPECT_GT(fs::file_size(s.data.path() / "seq" / "GPS.zlg"), 0u);
}

// Track records hold the machine's clock in UTC, whatever its zone, and the headless logger
// and a recording's GPS agree. One zone has a half-hour offset, one has summer time.
class ZoneStamps : public ::testing::TestWithParam<const char*> {};

// Milliseconds since 1970 UTC of every record of a track file.
std::vector<int64_t> recordTimes(const fs::path& track) {
    std::vector<int64_t> times;
    ToolRun dump = tool("track " + track.string());
    std::vector<std::string> rows = lines(dump.out);
    for (size_t i = 1; i < rows.size(); ++i) {
        std::tm t{};
        int32_t ms = 0;
        if (std::sscanf(rows[i].c_str(), "%d-%d-%d,%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &ms) !=
            4) {
            continue;
        }
        t.tm_year -= 1900;
        t.tm_mon -= 1;
        times.push_back(int64_t{::timegm(&t)} * 1000 + ms);
    }
    return times;
}

int64_t unixMsNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TEST_P(ZoneStamps, GpsAndRecordBothStampTheSystemUtc) {
    if (!fs::exists(kCaptures)) GTEST_SKIP() << "captures not present";
    Station s;
    ASSERT_TRUE(s.up());
    const std::string zone = std::string("TZ=") + GetParam() + " ";
    const int64_t before = unixMsNow();
    ToolRun logged = shell(zone + kTool + " gps --port " + std::to_string(s.gps.port()) +
                           " --seconds 2 --dir " + (s.data.path() / "gps").string());
    ASSERT_EQ(logged.status, 0) << logged.out;
    ToolRun rec = shell(zone + kTool + " record --monitor --port " +
                        std::to_string(s.module.port()) + " --gps " + std::to_string(s.gps.port()) +
                        " --seconds 3 --dir " + (s.data.path() / "seq").string() + " </dev/null");
    ASSERT_EQ(rec.status, 0) << rec.out;
    const int64_t after = unixMsNow();
    s.module.stop();
    s.gps.stop();
    for (const fs::path& track :
         {s.data.path() / "gps" / "GPS.zlg", s.data.path() / "seq" / "GPS.zlg"}) {
        const std::vector<int64_t> times = recordTimes(track);
        EXPECT_FALSE(times.empty()) << track;
        for (int64_t t : times) {
            EXPECT_GE(t, before - 1000) << track << " is " << (before - t) / 60000 << " min early";
            EXPECT_LE(t, after + 1000) << track << " is " << (t - after) / 60000 << " min late";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, ZoneStamps,
                         ::testing::Values("Asia/Kolkata", "Australia/Adelaide", "Europe/Berlin"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return n;
                         });

TEST(SimulateGps, UsageAndMissingLog) {
    EXPECT_EQ(tool("simulate-gps").status, 64);
    EXPECT_EQ(tool("simulate-gps --nmea /nonexistent.log").status, 2);
    EXPECT_EQ(tool("simulate-gps --nmea x --baud 0").status, 64);
    EXPECT_EQ(tool("gps --seconds -1").status, 64);
    EXPECT_EQ(tool("gps extra").status, 64);
    // Record times are the system's UTC: there is no zone to give.
    EXPECT_EQ(tool("gps --tz 600").status, 64);
}

TEST(GpsCommand, PortThatCannotBeOpenedFails) {
    PrivateRuntimeDir runtime;
    TempDir data;
    ConfigHome config(data.path() / "config");
    EXPECT_EQ(tool("gps --port 9999 --seconds 1 --dir " + data.path().string()).status, 1);
}

}  // namespace
