// `import` and `calls` on real full-spectrum recordings of three makers' detectors: what a
// person checks by eye on them (calls per pass, echoes, the pipistrelles' frequency), the
// recorder's clock whatever the machine's zone, damaged copies, and a second import.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace fs = std::filesystem;
using testing_support::quoted;
using testing_support::Tool;
using testing_support::ToolRun;

namespace {

const fs::path kRecordings = fs::path(ZELKORA_SHARED_DATA) / "recordings";

struct Row {
    int call = 0;
    double offsetMs = 0, durationMs = 0, fmaxKhz = 0, fminKhz = 0, fcharKhz = 0;
    bool echo = false;
};

class RealRecordings : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(kRecordings / "open-logger-pass.wav")) {
            GTEST_SKIP() << "the shared recordings are not there (" << kRecordings << ")";
        }
    }

    // The tool with its settings in the test's folder, in time zone `zone`.
    ToolRun run(const std::string& args, const std::string& zone = "UTC") {
        return tool.run(args, "", "XDG_CONFIG_HOME=" + quoted(work.file("config")) + " TZ=" + zone);
    }
    ToolRun import(const std::string& recording, const std::string& out,
                   const std::string& options = "", const std::string& zone = "UTC") {
        return run(
            "import " + quoted(recording) + " --dir " + quoted(work.file(out)) + " " + options,
            zone);
    }
    // The rows of `calls --echoes` over a folder.
    std::vector<Row> calls(const std::string& out) {
        const ToolRun r = run("calls --echoes " + quoted(work.file(out)));
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<Row> rows;
        std::istringstream lines(r.out);
        std::string line;
        std::getline(lines, line);  // the header
        while (std::getline(lines, line)) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string v; std::getline(fields, v, ',');) f.push_back(v);
            if (f.size() < 14) f.resize(14);
            rows.push_back({std::stoi(f[1]), std::stod(f[3]), std::stod(f[4]), std::stod(f[6]),
                            std::stod(f[7]), std::stod(f[9]), f[13] == "1"});
        }
        return rows;
    }

    TempDir work;
    Tool tool;
};

TEST_F(RealRecordings, CallsAsAPersonMarksThem) {
    // The phone detector's pipistrelles: five calls in the first half second, four of them
    // above -40 dBFS; the rest of the recording is noise below 30 kHz.
    ASSERT_EQ(import((kRecordings / "phone-detector-pipistrelle.wav").string(), "phone",
                     "--threshold -40")
                  .status,
              0);
    int pipistrelles = 0;
    for (const Row& r : calls("phone")) {
        if (r.echo || r.offsetMs > 500 || r.fmaxKhz < 40) continue;
        ++pipistrelles;
        EXPECT_GE(r.fcharKhz, 44.0) << r.offsetMs;
        EXPECT_LE(r.fcharKhz, 47.0) << r.offsetMs;
        EXPECT_GE(r.durationMs, 3.0) << r.offsetMs;
    }
    EXPECT_EQ(pipistrelles, 4);

    // The open logger's loud sweep at the start is one call of about 12 ms; its
    // reverberation, 30-40 ms of short fragments at its own frequency, is echoes of it.
    ASSERT_EQ(import((kRecordings / "open-logger-pass.wav").string(), "open").status, 0);
    const std::vector<Row> open = calls("open");
    int sweep = 0, echoes = 0;
    for (const Row& r : open) {
        if (r.offsetMs > 50) continue;
        if (r.echo) {
            ++echoes;
            EXPECT_EQ(r.call, 1);
            EXPECT_LT(r.durationMs, 5.0);
        } else {
            ++sweep;
            EXPECT_NEAR(r.durationMs, 12.5, 1.0);
        }
    }
    EXPECT_EQ(sweep, 1);
    EXPECT_GE(echoes, 6);

    // The handheld's dense pass of short steep calls, above its noise: no row is a blip and
    // no call follows another by an echo's 1-2 ms.
    ASSERT_EQ(
        import((kRecordings / "handheld-logger-pass.wav").string(), "handheld", "--threshold -22")
            .status,
        0);
    const ToolRun plain = run("calls " + quoted(work.file("handheld")));
    int handheld = 0;
    for (const Row& r : calls("handheld")) {
        if (r.echo) continue;
        ++handheld;
        EXPECT_GE(r.durationMs, 0.8);
    }
    EXPECT_EQ(handheld, 21);
    // Without --echoes the same calls, and no echo column.
    EXPECT_EQ(std::count(plain.out.begin(), plain.out.end(), '\n'), handheld + 1);
    EXPECT_EQ(plain.out.find(",echo"), std::string::npos);

    const ToolRun none = import((kRecordings / "open-logger-no-bats.wav").string(), "none");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
}

TEST_F(RealRecordings, RecorderClockWhateverTheZoneAndNoSecondCopy) {
    const std::string all = quoted((kRecordings / "phone-detector-pipistrelle.wav").string()) +
                            " " + quoted((kRecordings / "open-logger-pass.wav").string()) + " " +
                            quoted((kRecordings / "handheld-logger-pass.wav").string());
    const ToolRun sydney =
        run("import " + all + " --dir " + quoted(work.file("a")), "Australia/Sydney");
    const ToolRun newYork =
        run("import " + all + " --dir " + quoted(work.file("b")), "America/New_York");
    ASSERT_EQ(sydney.status, 0) << sydney.err;
    ASSERT_EQ(newYork.status, 0) << newYork.err;
    // 21:34:14+0100, 20:26:15+01:00 and 22:39:11 as the recorders wrote them: W815 2134.14,
    // Y903 2026.15, Y531 2239.11 (and the pass's second file).
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(work.file("a"))) {
        names.push_back(e.path().filename().string());
        EXPECT_EQ(work.read("a/" + names.back()), work.read("b/" + names.back())) << names.back();
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"W8152134.14#", "Y5312239.11#", "Y5312239.13#",
                                               "Y9032026.15#"}));

    // A second import into the same folder writes nothing and says what was there.
    const ToolRun again = run("import " + all + " --dir " + quoted(work.file("a")), "Asia/Tokyo");
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "");
    EXPECT_NE(again.err.find("4 sequence(s) already in"), std::string::npos) << again.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(work.file("a")), fs::directory_iterator()), 4);
}

// A copy of `from` as 16-bit FLAC (or float WAV), through `edit` of its samples.
bool convert(const fs::path& from, const std::string& to, int format,
             const std::function<void(std::vector<float>&)>& edit = {}) {
    SF_INFO info{};
    SNDFILE* in = sf_open(from.c_str(), SFM_READ, &info);
    if (!in) return false;
    std::vector<float> samples(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(in, samples.data(), info.frames);
    sf_close(in);
    if (edit) edit(samples);
    SF_INFO outInfo = info;
    outInfo.format = format;
    SNDFILE* out = sf_open(to.c_str(), SFM_WRITE, &outInfo);
    if (!out) return false;
    const bool ok = sf_writef_float(out, samples.data(), info.frames) == info.frames;
    sf_close(out);
    return ok;
}

void cutOrSpoil(const std::string& path, const std::string& to, size_t keep, size_t spoilAt = 0) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (spoilAt > 0) {
        for (size_t k = 0; k < 200; ++k)
            bytes[spoilAt + k] = static_cast<char>(bytes[spoilAt + k] ^ 0x5a);
    }
    std::ofstream(to, std::ios::binary) << bytes.substr(0, keep);
}

TEST_F(RealRecordings, DamagedCopiesAreReportedWithTheTime) {
    const fs::path source = kRecordings / "open-logger-pass.wav";
    const size_t size = fs::file_size(source);
    // The WAV's data chunk promises 6.73 s; half the file holds 3.36 s of it.
    cutOrSpoil(source.string(), work.file("cut.wav"), size / 2);
    ToolRun r = import(work.file("cut.wav"), "cut");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cut.wav: damaged audio at 3.36"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(2024-09-03 20:26:18."), std::string::npos) << r.err;
    EXPECT_NE(r.out, "");  // the loud sweep before the damage is imported

    ASSERT_TRUE(convert(source, work.file("whole.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    const size_t flac = fs::file_size(work.file("whole.flac"));
    cutOrSpoil(work.file("whole.flac"), work.file("half.flac"), flac / 2);
    cutOrSpoil(work.file("whole.flac"), work.file("spoilt.flac"), flac, flac / 3);
    for (const char* name : {"half.flac", "spoilt.flac"}) {
        r = import(work.file(name), std::string(name) + ".out");
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_NE(r.err.find(std::string(name) + ": damaged audio at "), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("frames its header promises"), std::string::npos) << r.err;
    }
    EXPECT_EQ(import(work.file("whole.flac"), "whole").status, 0);

    // One sample that is not a number at 1.0 s of a float WAV: reported, and the calls
    // after it are found as in the undamaged copy.
    ASSERT_TRUE(convert(source, work.file("float.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_TRUE(convert(source, work.file("nan.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                        [](std::vector<float>& s) { s[250000] = std::nanf(""); }));
    EXPECT_EQ(import(work.file("float.wav"), "float").status, 0);
    r = import(work.file("nan.wav"), "nan");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nan.wav: damaged audio at 1.000000 s"), std::string::npos) << r.err;
    auto after = [](const std::vector<Row>& rows) {
        std::vector<std::pair<double, double>> late;
        for (const Row& row : rows) {
            if (row.offsetMs > 1000) late.emplace_back(row.offsetMs, row.fcharKhz);
        }
        return late;
    };
    const auto expected = after(calls("float"));
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(after(calls("nan")), expected);
}

}  // namespace
