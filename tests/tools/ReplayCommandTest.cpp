// `zelkora-tool replay` on captures built here in the module's wire format.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ChildProcess.h"
#include "sequence/SequenceFormat.h"

using testing_support::ChildProcess;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

void appendValue(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(0x80 | (value & 0x7F)));
    for (value >>= 7; value != 0; value >>= 7) out.push_back(static_cast<uint8_t>(value & 0x7F));
}
void append(std::vector<uint8_t>& out, const std::vector<int32_t>& intervals) {
    for (int32_t v : intervals) appendValue(out, static_cast<uint32_t>(v));
}

// A pass of `calls` calls: each a break and 20 smoothly lengthening intervals.
std::vector<int32_t> pass(int calls) {
    std::vector<int32_t> v;
    for (int c = 0; c < calls; ++c) {
        v.push_back(60000);
        for (int i = 0; i < 20; ++i) v.push_back(250 + 5 * i);
    }
    return v;
}

// Irregular intervals that never make a run.
std::vector<int32_t> noise(int n) {
    std::vector<int32_t> v;
    uint32_t seed = 99;
    while (static_cast<int>(v.size()) < n) {
        seed = seed * 1664525u + 1013904223u;
        v.push_back(static_cast<int32_t>(v.size() % 2 ? 80 + (seed >> 8) % 200
                                                      : 1500 + (seed >> 8) % 2500));
    }
    return v;
}

struct ReplayRun {
    int status = -1;
    std::vector<std::string> names;
};

struct File {
    std::vector<uint8_t> image;
    std::vector<int32_t> intervals;
    SequenceFileHeader header;
};

File readFile(const std::filesystem::path& path) {
    File f;
    std::ifstream in(path, std::ios::binary);
    f.image.assign(std::istreambuf_iterator<char>(in), {});
    DotStore store;
    if (decodeSequenceImage(f.image, store) == 0) return f;
    readSequenceHeader(f.image, f.header);
    for (int32_t i = 1; i < store.count; ++i)
        f.intervals.push_back(store.times[i] - store.times[i - 1]);
    return f;
}

bool endsWith(const std::vector<int32_t>& whole, const std::vector<int32_t>& tail) {
    return whole.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), whole.rbegin());
}

class ReplayCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zelkora-replay-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        std::filesystem::create_directories(root / "config");
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);

        // Pass A, a gap, noise, a gap, pass B cut by an overflow, then pass C.
        passA = pass(3);
        passB = pass(3);
        passC = pass(2);
        append(capture, passA);
        append(capture, {6000000});
        append(capture, noise(2000));
        append(capture, {6000000});
        append(capture, passB);
        capture.insert(capture.end(), {0x80, 0x80, 0x80});
        append(capture, passC);
        std::ofstream(root / "capture.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(capture.data()),
                   static_cast<std::streamsize>(capture.size()));
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    ReplayRun replay(const std::string& dir, std::vector<std::string> options) {
        std::vector<std::string> args{kTool,
                                      "replay",
                                      (root / "capture.bin").string(),
                                      "--dir",
                                      (root / dir).string(),
                                      "--start",
                                      "2024-06-01 21:00:00"};
        args.insert(args.end(), options.begin(), options.end());
        ChildProcess p(args, (root / "replay.err").string());
        ReplayRun r;
        std::string line;
        while (p.readLine(line, 10000)) {
            if (line.rfind("saved ", 0) == 0) r.names.push_back(line.substr(6));
        }
        r.status = p.wait(10000);
        return r;
    }

    std::filesystem::path root;
    std::vector<uint8_t> capture;
    std::vector<int32_t> passA, passB, passC;
};

TEST_F(ReplayCommand, MonitorModeSavesThePassesAndNotTheNoise) {
    const ReplayRun run = replay("a", {"--monitor"});
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.names.size(), 2u);

    // Pass A whole, closed by the gap, starting at the given start.
    const File a = readFile(root / "a" / run.names[0]);
    EXPECT_EQ(a.intervals, passA);
    EXPECT_EQ(a.header.start,
              SequenceStartTime::fromJulian(JulianTime::fromDateTime(2024, 6, 1, 21, 0, 0, 0)));
    EXPECT_EQ(run.names[0], "Y6012100.00#");

    // B and C in one sequence, saved when the module fell silent. The value in progress at the
    // overflow is lost with it; the capture's last value is complete at its end and is kept.
    const File bc = readFile(root / "a" / run.names[1]);
    std::vector<int32_t> expected(passB.begin(), passB.end() - 1);
    expected.insert(expected.end(), passC.begin(), passC.end());
    EXPECT_TRUE(endsWith(bc.intervals, expected));
    int64_t sum = 0;
    for (int32_t v : bc.intervals) sum += v;
    EXPECT_LE(sum, 14999999);
}

TEST_F(ReplayCommand, SameCaptureGivesTheSameFiles) {
    const ReplayRun first = replay("one", {"--monitor"});
    const ReplayRun second = replay("two", {"--monitor"});
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(second.status, 0);
    ASSERT_EQ(first.names, second.names);
    ASSERT_FALSE(first.names.empty());
    for (const std::string& name : first.names) {
        EXPECT_EQ(readFile(root / "one" / name).image, readFile(root / "two" / name).image) << name;
    }
}

TEST_F(ReplayCommand, RecordModeSavesTheNewestFifteenSecondsAtTheEnd) {
    const ReplayRun run = replay("rec", {});
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.names.size(), 1u);
    const File f = readFile(root / "rec" / run.names[0]);
    EXPECT_TRUE(endsWith(f.intervals, passC));
    int64_t sum = 0;
    for (int32_t v : f.intervals) sum += v;
    // Everything back to the first gap, which would take the file past 15 seconds.
    EXPECT_LE(sum, 14999999);
    EXPECT_GT(sum + 6000000, 14999999);
    EXPECT_EQ(f.intervals.front(),
              1500 + static_cast<int32_t>((99u * 1664525u + 1013904223u) >> 8) % 2500);
}

TEST_F(ReplayCommand, TheCapturesLastIntervalIsKeptAndCountsForTheStart) {
    // No value follows the last one: it is complete when the capture ends.
    capture.clear();
    append(capture, {300, 4000, 129, 70000});
    std::ofstream(root / "capture.bin", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(capture.data()),
               static_cast<std::streamsize>(capture.size()));
    const ReplayRun run = replay("last", {});
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.names.size(), 1u);
    EXPECT_EQ(readFile(root / "last" / run.names[0]).intervals,
              (std::vector<int32_t>{300, 4000, 129, 70000}));

    // Without --start the capture ends at the file's time, the last interval included.
    const auto written = std::filesystem::last_write_time(root / "capture.bin");
    ChildProcess p(
        {kTool, "replay", (root / "capture.bin").string(), "--dir", (root / "bytime").string()},
        (root / "replay.err").string());
    std::string line;
    ASSERT_TRUE(p.readLine(line, 10000));
    ASSERT_EQ(p.wait(10000), 0);
    const File f = readFile(root / "bytime" / line.substr(6));
    const auto sys = std::chrono::file_clock::to_sys(written);
    const std::time_t t = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(sys));
    std::tm local{};
    ::localtime_r(&t, &local);
    const int64_t micros =
        std::chrono::duration_cast<std::chrono::microseconds>(sys.time_since_epoch()).count() %
        1000000;
    const JulianTime end = JulianTime::fromDateTime(local.tm_year + 1900, local.tm_mon + 1,
                                                    local.tm_mday, local.tm_hour, local.tm_min,
                                                    local.tm_sec, static_cast<int32_t>(micros));
    EXPECT_EQ(f.header.start,
              SequenceStartTime::fromJulian(end - int64_t{300 + 4000 + 129 + 70000}));
}

TEST_F(ReplayCommand, MissingCaptureAndBadStartAreReported) {
    ChildProcess missing({kTool, "replay", (root / "nothing.bin").string()},
                         (root / "err").string());
    EXPECT_EQ(missing.wait(10000), 2);
    std::ifstream err(root / "err");
    std::string text((std::istreambuf_iterator<char>(err)), {});
    EXPECT_NE(text.find("Cannot open file " + (root / "nothing.bin").string()), std::string::npos);

    ChildProcess badStart({kTool, "replay", (root / "capture.bin").string(), "--start", "tonight"},
                          (root / "err2").string());
    EXPECT_EQ(badStart.wait(10000), 64);
}

}  // namespace
