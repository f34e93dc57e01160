// What the commands that read files do with paths that are no regular file, and with output
// that cannot be written: refused at once, never waited on, never reported as success.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gps/TrackRecord.h"
#include "sequence/SequenceTestData.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {

using testing_support::quoted;
using testing_support::readText;

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

// The exit status within 10 seconds (124 after them: a reader waiting on a FIFO fails the
// test instead of hanging it); standard output goes to `out` (default: the file "out"),
// standard error to the file "err".
int runTool(const TempDir& work, const std::string& args, std::string out = "") {
    if (out.empty()) out = work.file("out");
    const int raw =
        std::system(("XDG_CONFIG_HOME='" + work.file("config") + "' timeout 10 " + kTool + " " +
                     args + " </dev/null >'" + out + "' 2>'" + work.file("err") + "'")
                        .c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The command line that has `name` read `path`, as its input file (or config, or log).
std::string reading(const TempDir& work, const std::string& name, const std::string& path) {
    const std::string p = quoted(path);
    if (name == "render") return "render " + p + " --png " + quoted(work.file("out.png"));
    if (name == "map") return "map " + p + " --gpx " + quoted(work.file("out.gpx"));
    if (name == "import") return "import " + p + " --dir " + quoted(work.file("imported"));
    if (name == "station") return "station --config " + p + " --now --seconds 1";
    if (name == "check-sent") return "check-sent --log " + p + " " + quoted(work.file("night"));
    return name + " " + p;
}

class FileReadingCommand : public ::testing::TestWithParam<const char*> {};

TEST_P(FileReadingCommand, RefusesWhatIsNoRegularFileAtOnceAndFailsOnFullOutput) {
    TempDir work;
    const std::string name = GetParam();
    ASSERT_EQ(::mkfifo(work.file("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(work.file("folder"));
    std::filesystem::create_directory(work.file("night"));
    // info, export, render and map take a folder for its sequence files, import for its
    // recordings.
    const bool takesFolders =
        name == "info" || name == "export" || name == "render" || name == "import" || name == "map";
    std::vector<std::string> notFiles = {work.file("fifo")};
    if (!takesFolders) notFiles.push_back(work.file("folder"));
    // Devices of our own, where nodes can be made: an empty one, an endless one, a full one.
    const auto device = [&](const char* node, unsigned minor) {
        return ::mknod(work.file(node).c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0;
    };
    if (device("null", 3)) notFiles.push_back(work.file("null"));
    if (device("zero", 5)) notFiles.push_back(work.file("zero"));
    const bool full = device("full", 7);
    for (const std::string& path : notFiles) {
        EXPECT_EQ(runTool(work, reading(work, name, path)), 2) << path;
        EXPECT_EQ(
            readText(work.file("err")),
            "Cannot open file " + path + (name == "import" ? ": not a readable file" : "") + "\n");
    }
    EXPECT_FALSE(std::filesystem::exists(work.file("out.gpx")));
    EXPECT_FALSE(std::filesystem::exists(work.file("out.png")));
    if (takesFolders) {
        // A folder of nights, as a station keeps them: nothing to read, and the user is told
        // where the files are.
        const std::string folder = work.file("folder");
        std::filesystem::create_directories(folder + "/2026-10-24");
        std::filesystem::create_directories(folder + "/2026-10-25");
        EXPECT_EQ(runTool(work, name == "render"
                                    ? "render '" + folder + "' --png-dir '" + work.file("p") + "'"
                                    : reading(work, name, folder)),
                  0);
        EXPECT_EQ(readText(work.file("err")),
                  "No " + std::string(name == "import" ? "WAV or FLAC file" : "sequence file") +
                      " in " + folder + " (its folders are not read into: give one, as " + folder +
                      "/2026-10-25)\n");
    }

    // What reads well, and its standard output on a full device.
    const std::string good = work.file("good");
    if (name == "nmea") {
        std::ofstream(good) << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,\n";
    } else if (name == "track") {
        std::array<uint8_t, TrackRecord::kSize> record{};
        TrackRecord{}.encode(record);
        work.write("good", std::vector<uint8_t>(record.begin(), record.end()));
    } else if (name == "info" || name == "export") {
        work.write("good", seqtest::encode(*seqtest::storeFromIntervals({100, 120, 60})));
    } else {
        return;  // what the others read well and write: their own tests, and OutputTargets
    }
    EXPECT_EQ(runTool(work, reading(work, name, good)), 0) << readText(work.file("err"));
    if (!full) GTEST_SKIP() << "no device nodes can be made here for a full output";
    EXPECT_EQ(runTool(work, name + " '" + good + "'", work.file("full")), 1);
    EXPECT_NE(readText(work.file("err")).find("standard output: No space left on device"),
              std::string::npos);
    if (name != "export") return;
    // More than any buffer holds: the reason of a write that failed long before the end is
    // said all the same.
    std::filesystem::create_directory(work.file("big"));
    const auto store = seqtest::storeFromIntervals(std::vector<int32_t>(16000, 100));
    for (const char* file : {"L7011845.14#", "L7011845.30#", "L7011845.46#", "L7011846.02#"})
        work.write("big/" + std::string(file), seqtest::encode(*store));
    EXPECT_EQ(runTool(work, "export '" + work.file("big") + "'", work.file("full")), 1);
    EXPECT_EQ(readText(work.file("err")),
              "zelkora-tool export: cannot write to standard output: No space left on device\n");
}

INSTANTIATE_TEST_SUITE_P(Tool, FileReadingCommand,
                         ::testing::Values("info", "export", "render", "nmea", "track", "map",
                                           "import", "station", "check-sent"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });

// A config far beyond any real one, and a log line that is not one, are named as such.
TEST(FileReadingCommand, HugeConfigAndBadLogLineAreNamed) {
    TempDir work;
    std::filesystem::create_directory(work.file("night"));
    work.write("huge.conf", std::vector<uint8_t>(1024 * 1024 + 1, '#'));
    EXPECT_EQ(runTool(work, "station --config " + quoted(work.file("huge.conf")) + " --now"), 2);
    EXPECT_NE(readText(work.file("err")).find("larger than 1 MiB"), std::string::npos)
        << readText(work.file("err"));

    std::ofstream(work.file("sent.log")) << "# sent\nI 1 40\nI 1 abc\n";
    EXPECT_EQ(runTool(work, reading(work, "check-sent", work.file("sent.log"))), 2);
    EXPECT_NE(readText(work.file("err")).find("line 3"), std::string::npos)
        << readText(work.file("err"));
}

}  // namespace
