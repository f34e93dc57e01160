// `zelkora-tool import` on WAV files synthesized here, read back with the file reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <numbers>
#include <random>

#include "ChildProcess.h"
#include "RiffImage.h"
#include "sequence/SequenceFormat.h"
#include "support/PrivateFolders.h"
#include "support/TempDir.h"

using testing_support::ChildProcess;
using testing_support::chunk;
using testing_support::put16;
using testing_support::put32;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

// A 16-bit mono WAV of `samples`, with `trailer` chunks after the audio as recorders put them.
void writeWav(const std::filesystem::path& path, int rate, const std::vector<float>& samples,
              const std::string& trailer = {}) {
    std::string fmt;
    put16(fmt, 1);
    put16(fmt, 1);
    put32(fmt, static_cast<uint32_t>(rate));
    put32(fmt, static_cast<uint32_t>(rate * 2));
    put16(fmt, 2);
    put16(fmt, 16);
    std::string data;
    for (float s : samples) {
        put16(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(s * 32767))));
    }
    std::ofstream(path, std::ios::binary)
        << testing_support::riff(chunk("fmt ", fmt) + chunk("data", data) + trailer);
}

// `calls` calls of `length` seconds every `period` seconds, the frequency at time u into a
// call given by `hz(u)`, amplitude `level` of full scale; silence between them.
std::vector<float> calls(int rate, int count, double length, double period,
                         const std::function<double(double)>& hz, double level = 0.5) {
    std::vector<float> out(static_cast<size_t>(rate * period * count + rate * 0.01));
    for (int c = 0; c < count; ++c) {
        double phase = 0;
        const auto first = static_cast<size_t>(rate * (0.005 + period * c));
        for (size_t i = 0; i < static_cast<size_t>(rate * length); ++i) {
            phase += 2 * std::numbers::pi * hz(static_cast<double>(i) / rate) / rate;
            out[first + i] = static_cast<float>(level * std::sin(phase));
        }
    }
    return out;
}

struct File {
    SequenceFileHeader header;
    std::vector<int32_t> times;
    std::vector<int32_t> frequency;  // mHz
};

File readFile(const std::filesystem::path& path) {
    File f;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    auto store = std::make_unique<DotStore>();
    if (decodeSequenceImage(image, *store) == 0) return f;
    computeDotFrequencies(*store);
    readSequenceHeader(image, f.header);
    f.times.assign(store->times.begin(), store->times.begin() + store->count);
    f.frequency.assign(store->frequency.begin(), store->frequency.begin() + store->count);
    return f;
}

class ImportCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::usePrivateFolders(root);
        // Five hours behind UTC all year: no recorder's time may move with it.
        ::setenv("TZ", "EST5", 1);
    }

    // Runs the import; the paths printed.
    std::vector<std::string> run(std::vector<std::string> args, int expectStatus = 0) {
        args.insert(args.begin(), {kTool, "import"});
        args.insert(args.end(), {"--dir", (root / "out").string()});
        ChildProcess p(args, (root / "import.err").string());
        std::vector<std::string> printed;
        std::string line;
        while (p.readLine(line, 20000)) printed.push_back(line);
        EXPECT_EQ(p.wait(20000), expectStatus);
        std::ifstream err(root / "import.err");
        errors.assign(std::istreambuf_iterator<char>(err), {});
        return printed;
    }

    TempDir dir;
    std::filesystem::path root = dir.path();
    std::string errors;
};

// Dots inside calls: both of their intervals are short.
std::vector<size_t> callDots(const File& f) {
    std::vector<size_t> dots;
    for (size_t i = 2; i < f.times.size(); ++i) {
        if (f.times[i] - f.times[i - 2] < 2000 && f.frequency[i] > 0) dots.push_back(i);
    }
    return dots;
}

TEST_F(ImportCommand, ToneCallsComeBackAtTheirFrequency) {
    writeWav(root / "tone.wav", 384000,
             calls(384000, 6, 0.004, 0.05, [](double) { return 40000.0; }));
    // No time inside either file; this one has it in its name, though copied today.
    const auto named = root / "SITE4_20240531-223911_0001.wav";
    writeWav(named, 384000, calls(384000, 4, 0.004, 0.05, [](double) { return 40000.0; }));
    const auto printed = run({(root / "tone.wav").string(), named.string()});
    ASSERT_EQ(printed.size(), 2u) << errors;
    const File f = readFile(printed[0]);
    EXPECT_EQ(f.header.divisionRatio, 16);
    const auto dots = callDots(f);
    // 160 periods a call, 8 to an interval.
    EXPECT_GE(dots.size(), 6u * 17);
    for (size_t i : dots) EXPECT_NEAR(f.frequency[i], 40000000, 200000) << "dot " << i;
    const SequenceStartTime& s = readFile(printed[1]).header.start;
    EXPECT_EQ(std::tuple(s.year, s.month, s.day, s.hour, s.minute, s.second),
              std::tuple(2024, 5, 31, 22, 39, 11));
    EXPECT_NE(errors.find("modification time"), std::string::npos) << errors;  // tone.wav's
    EXPECT_NE(errors.find("2024-05-31 22:39:11 from its name"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("0001.wav: no recording time in the file; its modif"), std::string::npos);

    // On a terminal (script(1) gives one) the progress line says how far the recording waited
    // for has got, and is wiped before each name printed, so every name starts a line.
    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
    const std::string command = kTool + " import '" + (root / "tone.wav").string() + "' '" +
                                named.string() + "' -j 2 --dir '" + (root / "again").string() + "'";
    const std::string shown = (root / "shown").string();
    ASSERT_EQ(std::system(("script -qec \"" + command + "\" /dev/null >" + shown).c_str()), 0);
    std::ifstream in(shown);
    const std::string screen((std::istreambuf_iterator<char>(in)), {});
    const size_t part = screen.find("% " + (root / "tone.wav").string());
    ASSERT_NE(part, std::string::npos) << screen;
    EXPECT_EQ(screen.rfind("\rimport 1/2 ", part), screen.rfind('\r', part - 3)) << screen;
    EXPECT_NE(screen.find("\r" + (root / "again").string()), std::string::npos) << screen;
    EXPECT_EQ(std::ranges::count(screen, '\n'), 4) << screen;  // two names, two notes
}

TEST_F(ImportCommand, WeakCallsUnderHissAreCountedThroughTheGateOnly) {
    // Six 45 kHz calls of 5 ms, 6 dB below hiss at -40 dB over the whole band: the crossings
    // of the audio as it is follow the hiss, while through the spectral gate they follow
    // the calls.
    auto audio = calls(
        384000, 6, 0.005, 0.05, [](double) { return 45000.0; },
        0.01 * std::sqrt(2.0) * std::pow(10, -6.0 / 20));
    std::mt19937 random(11);
    std::normal_distribution<float> hiss(0, 0.01F);
    for (float& s : audio) s += hiss(random);
    writeWav(root / "weak.wav", 384000, audio);
    const auto printed = run({(root / "weak.wav").string()});
    ASSERT_EQ(printed.size(), 1u) << errors;
    const File f = readFile(printed[0]);
    size_t onTheCall = 0;
    for (size_t i : callDots(f)) onTheCall += std::abs(f.frequency[i] - 45000000) < 1000000;
    EXPECT_GE(onTheCall, 6u * 15);  // of about 20 a call
    std::filesystem::remove_all(root / "out");
    EXPECT_TRUE(run({(root / "weak.wav").string(), "--no-denoise"}).empty());
}

TEST_F(ImportCommand, SweepDotsFollowTheTrackAndTheStampPlacesThem) {
    // 100 to 40 kHz in 5 ms, every 70 ms, recorded from 21:13:05 at UTC+2 at 52.5 N 1.25 W,
    // 120 m. The recorder's clock is kept as it is, whatever this machine's zone.
    const double f0 = 100000, f1 = 40000, length = 0.005, period = 0.07;
    const std::string guan = chunk("guan",
                                   "GUANO|Version:1.0\nTimestamp:2024-06-01 21:13:05+02:00\n"
                                   "Loc Position:52.5 -1.25\nLoc Elevation:120\n");
    writeWav(
        root / "sweep.wav", 500000,
        calls(500000, 5, length, period, [&](double u) { return f0 + (f1 - f0) * u / length; }),
        guan);
    const auto printed = run({(root / "sweep.wav").string(), "--ratio", "8"});
    ASSERT_EQ(printed.size(), 1u) << errors;
    const File f = readFile(printed[0]);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(f.header.position,
              PositionBlock::build(PositionBlock::kModeLatLon, 52.5, -1.25, 120));
    const SequenceStartTime& s = f.header.start;
    EXPECT_EQ(std::tuple(s.year, s.month, s.day, s.hour, s.minute, s.second),
              std::tuple(2024, 6, 1, 21, 13, 5));
    // Each dot's frequency is the sweep's at the middle of its two intervals.
    const double fileStart = s.microsecond();
    size_t checked = 0;
    for (size_t i : callDots(f)) {
        const double middle = fileStart + (f.times[i] + f.times[i - 2]) / 2.0;
        const double u = std::fmod(middle / 1e6 - 0.005, period);
        if (u < 0.0003 || u > length - 0.0003) continue;  // the filter settles at the edges
        const double expected = f0 + (f1 - f0) * u / length;
        EXPECT_NEAR(f.frequency[i] / 1000.0, expected, 0.01 * expected) << "dot " << i;
        ++checked;
    }
    EXPECT_GE(checked, 5u * 50);
}

TEST_F(ImportCommand, TimeExpansionGivesTheSameIntervals) {
    auto hz = [](double u) { return 80000 - 8e6 * u; };  // 80 to 40 kHz in 5 ms
    writeWav(root / "direct.wav", 384000, calls(384000, 4, 0.005, 0.06, hz));
    // Ten times slower: every frequency a tenth, every time ten times longer.
    const auto slowCalls = calls(38400, 4, 0.05, 0.6, [&](double u) { return hz(u / 10) / 10; });
    writeWav(root / "slow.wav", 38400, slowCalls);
    const auto direct = run({(root / "direct.wav").string()});
    const auto slow = run({(root / "slow.wav").string(), "--time-expansion", "10"});
    EXPECT_EQ(errors.find("give --time-expansion"), std::string::npos) << errors;
    // Taken as real time, its 38.4 kHz cannot carry a 20 kHz cut-off; at the default 12 kHz
    // its calls come out at 4-8 kHz, and the user is pointed at the expansion.
    EXPECT_TRUE(run({(root / "slow.wav").string(), "--high-pass", "20"}, 1).empty());
    EXPECT_NE(errors.find("--high-pass too high"), std::string::npos) << errors;
    run({(root / "slow.wav").string()});
    EXPECT_NE(errors.find("38400 samples per second hold nothing above 19 kHz; if it is "
                          "time-expanded, give --time-expansion"),
              std::string::npos)
        << errors;
    ASSERT_EQ(direct.size(), 1u) << errors;
    ASSERT_EQ(slow.size(), 1u) << errors;
    const File a = readFile(direct[0]);
    const File b = readFile(slow[0]);
    ASSERT_EQ(a.times.size(), b.times.size());
    for (size_t i = 1; i < a.times.size(); ++i) {
        EXPECT_NEAR(b.times[i] - b.times[i - 1], a.times[i] - a.times[i - 1], 2) << i;
    }
    // The factor a recorder notes in its guan chunk serves when none is given.
    writeWav(root / "noted.wav", 38400, slowCalls, chunk("guan", "TE:10\n"));
    std::filesystem::remove_all(root / "out");  // else the same sequence is found there
    const auto noted = run({(root / "noted.wav").string()});
    ASSERT_EQ(noted.size(), 1u) << errors;
    EXPECT_EQ(readFile(noted[0]).times, b.times);
}

TEST_F(ImportCommand, QuietRecordingsAndBadFiles) {
    // Calls at −45 dBFS in silence: a fixed −40 dB shuts them out; the default follows the
    // background, here none, so that it stands at its lowest (−60 dB) and takes them.
    const double quiet = std::pow(10, -45.0 / 20);
    writeWav(root / "quiet.wav", 384000,
             calls(
                 384000, 5, 0.004, 0.05, [](double) { return 45000.0; }, quiet),
             chunk("LIST", "INFO" + chunk("ICMT", "Recorded at 21:13:05 01/06/2024 (UTC)")));
    EXPECT_TRUE(run({(root / "quiet.wav").string(), "--threshold", "-40"}).empty());
    // The comment's time was taken, and the user is told why nothing was written.
    EXPECT_EQ(errors, "zelkora-tool import: 1 of 1 recording(s) held no calls and gave no file\n");
    EXPECT_EQ(run({(root / "quiet.wav").string()}).size(), 1u);
    const File f = readFile(std::filesystem::directory_iterator(root / "out")->path());
    EXPECT_EQ(std::tuple(f.header.start.day, f.header.start.hour), std::tuple(1, 21));

    // Files that are not audio are reported with why, and the others are still imported (this
    // one is in the folder already), on two threads: the library closes what it refuses.
    std::ofstream(root / "junk.wav") << "not a recording";
    std::ofstream(root / "empty.wav").close();
    const auto printed = run({(root / "junk.wav").string(), (root / "empty.wav").string(),
                              (root / "quiet.wav").string(), "-j", "2"},
                             2);
    EXPECT_TRUE(printed.empty());
    EXPECT_NE(errors.find("Cannot open file " + (root / "junk.wav").string() + ": "),
              std::string::npos);
    EXPECT_NE(
        errors.find("Cannot open file " + (root / "empty.wav").string() + ": the file is empty\n"),
        std::string::npos);
    std::filesystem::remove(root / "empty.wav");
    EXPECT_NE(errors.find("1 sequence(s) already in"), std::string::npos);

    // A folder stands for its recordings, any case of extension, and nothing else in it.
    std::filesystem::copy_file(root / "quiet.wav", root / "copy.WAV");
    std::ofstream(root / "notes.txt") << "not a recording either";
    EXPECT_TRUE(run({root.string()}, 2).empty());
    EXPECT_NE(errors.find("Cannot open file " + (root / "junk.wav").string()), std::string::npos);
    EXPECT_NE(errors.find("2 sequence(s) already in"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("notes.txt"), std::string::npos);
    std::filesystem::create_directory(root / "empty");
    EXPECT_TRUE(run({(root / "empty").string()}).empty());
    EXPECT_EQ(errors, "No WAV or FLAC file in " + (root / "empty").string() + "\n");

    // A folder that cannot take files (here one below a plain file) is refused at once, with
    // its reason, before any recording is read.
    std::ofstream(root / "plain") << "a file";
    const std::string below = (root / "plain" / "night").string();
    ChildProcess refused({kTool, "import", (root / "quiet.wav").string(), "--dir", below},
                         (root / "import.err").string());
    EXPECT_EQ(refused.wait(20000), 1);
    std::ifstream said(root / "import.err");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(said), {}),
              "zelkora-tool import: cannot write files into " + below + "/: Not a directory\n");

    run({(root / "quiet.wav").string(), "--ratio", "0"}, 64);
    run({(root / "quiet.wav").string(), "--threshold", "loud"}, 64);
    run({(root / "quiet.wav").string(), "--high-pass", "0.5"}, 64);
}

}  // namespace
