// `import` and `calls` on real recordings of three makers' detectors: what a person checks
// by eye on them, the recorder's clock in any zone, damaged copies, and a second import.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace fs = std::filesystem;
using testing_support::quoted;

namespace {

const fs::path kRecordings = fs::path(ZELKORA_SHARED_DATA) / "recordings";

class RealRecordings : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(kRecordings)) GTEST_SKIP() << "no shared recordings at " << kRecordings;
    }
    testing_support::ToolRun run(const std::string& args, const std::string& zone = "UTC") {
        return tool.run(args, "", "XDG_CONFIG_HOME=" + quoted(work.file("cfg")) + " TZ=" + zone);
    }
    int import(const std::string& from, const std::string& to, const std::string& options = "") {
        last = run("import " + quoted(from) + " --dir " + quoted(work.file(to)) + " " + options);
        return last.status;
    }
    // `calls --echoes` of a folder: offset_ms, duration_ms, fmax_khz, fchar_khz, echo.
    std::vector<std::array<double, 5>> calls(const std::string& folder,
                                             const std::string& options = "") {
        std::istringstream lines(
            run("calls --echoes " + options + " " + quoted(work.file(folder))).out);
        std::vector<std::array<double, 5>> rows;
        std::string line;
        for (std::getline(lines, line); std::getline(lines, line);) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string v; std::getline(fields, v, ',');) f.push_back(v);
            rows.push_back({std::stod(f[3]), std::stod(f[4]), std::stod(f[6]), std::stod(f[9]),
                            f.back() == "1" ? 1.0 : 0.0});
        }
        return rows;
    }
    std::string rec(const char* name) { return (kRecordings / name).string(); }

    TempDir work;
    testing_support::Tool tool;
    testing_support::ToolRun last;
};

TEST_F(RealRecordings, CallsPerPassEchoesAndThePipistrellesFrequency) {
    // All at the default settings: the spectral gate, and a threshold that follows each
    // recording's background. The five pipistrelle calls in the phone's first half second
    // are all rows, one of them only 3-4 dB above the whole band's hiss, and their
    // reverberation, pieces at their end frequency, is marked as echoes. Narrowed to the
    // species, the bursts at 12-35 kHz are gone: those five and two of the faint pass after
    // them (1.02 and 1.11 s) are all the calls left.
    ASSERT_EQ(import(rec("phone-detector-pipistrelle.wav"), "phone"), 0);
    int echoes = 0;
    std::string species;
    for (const auto& [offset, duration, fmax, fchar, echo] : calls("phone", "--fmin 40")) {
        echoes += echo != 0 && offset < 500;
        if (echo) continue;
        species += std::to_string(std::lround(offset / 100)) + " ";
        EXPECT_TRUE(fchar >= 44 && fchar <= 47) << offset << " ms: " << fchar << " kHz";
    }
    EXPECT_EQ(species, "0 2 3 4 5 10 11 ");
    EXPECT_GE(echoes, 12);
    // A faint pass follows, about 28 calls at 44-48 kHz under louder bursts at 12-35 kHz:
    // a cut-off above the bursts, and a fixed threshold instead of one that follows them,
    // bring most of its calls in (2 at the default), while the loud calls keep their length
    // rather than take in their reverberation (rows of 17-26 ms without its mask).
    ASSERT_EQ(
        import(rec("phone-detector-pipistrelle.wav"), "faint", "--high-pass 35 --threshold -72"),
        0);
    int faint = 0;
    for (const auto& [offset, duration, fmax, fchar, echo] : calls("faint")) {
        faint += !echo && offset > 500 && fmax <= 60 && fchar >= 43 && fchar <= 48;
        if (!echo && offset < 500 && fmax >= 40) {
            EXPECT_LT(duration, 10) << offset << " ms";
        }
    }
    EXPECT_GE(faint, 20);
    // The open logger's loud sound at 33-40 kHz and its decay are one row of about 55 ms,
    // and nothing of it stands off its band (the gate let no hiss through just before its
    // abrupt start).
    ASSERT_EQ(import(rec("open-logger-pass.wav"), "open"), 0);
    const auto open = calls("open");
    int loud = 0;
    for (const auto& [offset, duration, fmax, fchar, echo] : open) {
        if (offset > 60) continue;
        loud += !echo && duration > 45;
        EXPECT_TRUE(fmax <= 45 && fchar >= 30) << offset << " ms: " << fmax << " kHz";
    }
    EXPECT_EQ(loud, 1);
    // Its approach: 15 calls at 52-60 kHz above a band at 16-20 kHz that comes and goes,
    // at these offsets (checked on a spectrogram). Several start steeply and break off
    // before a long steady tail; each call is one row all the same. The call at 1619 ms,
    // under the band's loudest stretch, needs a cut-off above the band.
    ASSERT_EQ(import(rec("open-logger-pass.wav"), "open30", "--high-pass 30"), 0);
    const auto open30 = calls("open30");
    auto approach = [&](const auto& rows) {
        std::string rowsPerCall;
        for (double call : {823, 901, 977, 1050, 1119, 1198, 1279, 1357, 1427, 1474, 1512, 1548,
                            1584, 1619, 1657}) {
            rowsPerCall += std::to_string(std::ranges::count_if(rows, [&](const auto& r) {
                return !r[4] && r[2] >= 45 && std::abs(r[0] - call) <= 12;
            }));
        }
        return rowsPerCall;
    };
    EXPECT_EQ(approach(open), "111111111111101");
    EXPECT_EQ(approach(open30), "111111111111111");
    // Calls (echoes aside) with fmax below `below` kHz.
    auto rows = [](const auto& all, double below) {
        return std::ranges::count_if(all, [&](const auto& r) { return !r[4] && r[2] < below; });
    };
    EXPECT_GE(rows(open, 25), 5);
    EXPECT_LE(rows(open30, 25), 2);
    // The handheld's dense pass of about 80 call events, many of them two bats calling
    // 3-4 ms apart, and not its hiss (at a fixed -36 dB it gave 291 rows; with the audio as
    // it is, 59).
    ASSERT_EQ(import(rec("handheld-logger-pass.wav"), "hand"), 0);
    const auto handheld = rows(calls("hand"), 1e9);
    EXPECT_TRUE(handheld >= 90 && handheld <= 115) << handheld;
    EXPECT_EQ(std::tuple(import(rec("open-logger-no-bats.wav"), "none"), last.out),
              std::tuple(0, ""));
}

// The recording rewritten in `format`, one sample spoilt when `nanAt` is given, then cut to
// `keep` of its bytes with 200 of them spoilt at `spoilAt`.
std::string damaged(const std::string& from, const std::string& to, int format, double keep,
                    long nanAt = -1, double spoilAt = 0) {
    SF_INFO info{};
    SNDFILE* in = sf_open(from.c_str(), SFM_READ, &info);
    const sf_count_t frames = info.frames;
    std::vector<float> samples(static_cast<size_t>(frames * info.channels));
    sf_readf_float(in, samples.data(), frames);
    sf_close(in);
    if (nanAt >= 0) samples[static_cast<size_t>(nanAt * info.channels)] = std::nanf("");
    info.format = format;
    SNDFILE* out = sf_open(to.c_str(), SFM_WRITE, &info);
    sf_writef_float(out, samples.data(), frames);
    sf_close(out);
    const auto size = static_cast<double>(fs::file_size(to));
    if (spoilAt > 0) {
        std::fstream f(to, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(size * spoilAt));
        f.write(std::string(200, '\x5a').data(), 200);
    }
    fs::resize_file(to, static_cast<uintmax_t>(size * keep));
    return to;
}

TEST_F(RealRecordings, DamagedCopiesExitOneWithTheTimeOfTheDamage) {
    const std::string source = rec("open-logger-pass.wav");
    // A cut WAV copy is imported with the whole recordings, in TwoJobsAnyZone...
    const int flac = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    EXPECT_EQ(import(damaged(source, work.file("half.flac"), flac, 0.5), "half"), 1);
    EXPECT_NE(last.err.find("half.flac: damaged audio at 3.3"), std::string::npos) << last.err;
    EXPECT_EQ(import(damaged(source, work.file("spoilt.flac"), flac, 1, -1, 0.3), "spoilt"), 1);
    EXPECT_NE(last.err.find("spoilt.flac: damaged audio at "), std::string::npos) << last.err;
    // A sample that is not a number at 1 s spoils none of the calls after it. (The gate
    // hears it as one silent sample, which may move a dot or split a call near it.)
    const int floats = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    EXPECT_EQ(import(damaged(source, work.file("float.wav"), floats, 1), "float"), 0);
    EXPECT_EQ(import(damaged(source, work.file("nan.wav"), floats, 1, 250000), "nan"), 1);
    EXPECT_NE(last.err.find("nan.wav: damaged audio at 1.000000 s"), std::string::npos);
    auto late = [&](const char* folder) {
        auto rows = calls(folder);
        std::erase_if(rows, [](const auto& row) { return row[0] < 1000 || row[4] != 0; });
        return rows;
    };
    const auto clean = late("float").size();
    EXPECT_GE(clean, 40u);
    EXPECT_NEAR(static_cast<double>(late("nan").size()), static_cast<double>(clean),
                0.1 * static_cast<double>(clean));
}

// Every batch command gives with two jobs what it gives with one, byte for byte, bad files
// and all: import (names, files, messages), calls, map, info and export. The two imports
// run in zones a day apart, and the recorder's clock is kept in both; a second import
// writes nothing.
TEST_F(RealRecordings, TwoJobsAnyZoneAndASecondImportGiveTheSameFiles) {
    std::string recordings;
    for (const char* name : {"phone-detector-pipistrelle.wav", "open-logger-pass.wav",
                             "handheld-logger-pass.wav", "open-logger-no-bats.wav"}) {
        recordings += quoted(rec(name)) + " ";
    }
    // The cut copy's time comes from its name, as the recordings' from their metadata.
    const std::string cut =
        damaged(rec("open-logger-pass.wav"), work.file("cut_20240903_202640.wav"),
                SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.5);
    const std::string inputs = recordings + quoted(cut) + " " + quoted(work.file("none.wav"));
    // Each run in a folder of the same name, so that what it prints can be compared whole.
    auto in = [&](const std::string& jobs, const std::string& args,
                  const std::string& zone = "UTC") {
        fs::create_directories(work.file(jobs));
        return tool.run(args + " -j " + jobs, "",
                        "cd " + quoted(work.file(jobs)) +
                            " && XDG_CONFIG_HOME=" + quoted(work.file("cfg")) + " TZ=" + zone);
    };
    const auto first = in("1", "import " + inputs + " --dir night", "Australia/Sydney");
    const auto second = in("2", "import " + inputs + " --dir night", "America/New_York");
    EXPECT_EQ(first.status, 1) << first.err;  // the cut copy and the missing one
    EXPECT_NE(first.err.find("_202640.wav: damaged audio at 3.36"), std::string::npos) << first.err;
    EXPECT_EQ(std::tuple(first.status, first.out, first.err),
              std::tuple(second.status, second.out, second.err));
    for (const auto& entry : fs::directory_iterator(work.file("1/night"))) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(work.read("1/night/" + name), work.read("2/night/" + name)) << name;
    }
    // 21:34:14+0100, 22:39:11 and 20:26:15+01:00 as the recorders wrote them.
    for (const char* name : {"W8152134.14#", "Y5312239.11#", "Y9032026.15#"}) {
        EXPECT_FALSE(work.read(std::string("2/night/") + name).empty()) << name;
    }
    for (const std::string& command :
         {std::string("import ") + inputs + " --dir night", std::string("calls night"),
          std::string("calls --echoes --json night missing.00#"), std::string("info night"),
          std::string("export night"), std::string("map night --gpx night.gpx")}) {
        const auto one = in("1", command), two = in("2", command);
        EXPECT_EQ(std::tuple(one.status, one.out, one.err),
                  std::tuple(two.status, two.out, two.err))
            << command;
        if (command.starts_with("import")) {
            EXPECT_EQ(one.out, "");
            EXPECT_NE(one.err.find("4 sequence(s) already in"), std::string::npos) << one.err;
        } else if (!command.starts_with("map")) {
            EXPECT_NE(one.out + one.err, "") << command;
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(work.file("1/night")), fs::directory_iterator()),
              4);  // the three sequences of the recordings and the cut copy's, up to the cut
    const std::string gpx = testing_support::readText(work.file("1/night.gpx"));
    EXPECT_EQ(gpx, testing_support::readText(work.file("2/night.gpx")));
    // The phone's file: as many calls as `calls` finds at the default threshold.
    EXPECT_NE(gpx.find("<desc>102 calls, median fchar 20.8 kHz</desc>"), std::string::npos);
}

}  // namespace
