// What the file-reading commands do with paths that are no regular file, and with output
// that cannot be written: refused at once, never waited on, never reported as success.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "gps/TrackRecord.h"
#include "sequence/SequenceTestData.h"
#include "support/TempDir.h"

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The exit status within 10 seconds (124 after them: a reader waiting on a FIFO fails the
// test instead of hanging it); standard error goes to the file "err".
int runTool(const TempDir& work, const std::string& args, const std::string& out = "/dev/null") {
    const int raw =
        std::system(("XDG_CONFIG_HOME='" + work.file("config") + "' timeout 10 " + kTool + " " +
                     args + " </dev/null >" + out + " 2>'" + work.file("err") + "'")
                        .c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

class FileReadingCommand : public ::testing::TestWithParam<const char*> {};

TEST_P(FileReadingCommand, RefusesWhatIsNoRegularFileAtOnceAndFailsOnFullOutput) {
    TempDir work;
    const std::string name = GetParam();
    const std::string good = work.file("good");
    if (name == "nmea") {
        std::ofstream(good) << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,\n";
    } else if (name == "track") {
        std::array<uint8_t, TrackRecord::kSize> record{};
        TrackRecord{}.encode(record);
        work.write("good", std::vector<uint8_t>(record.begin(), record.end()));
    } else {
        work.write("good", seqtest::encode(*seqtest::storeFromIntervals({100, 120, 60})));
    }
    const std::string png = name == "render" ? " --png '" + work.file("out.png") + "'" : "";
    ASSERT_EQ(::mkfifo(work.file("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(work.file("folder"));
    // info, export and render take a folder for its sequence files.
    const bool takesFolders = name == "info" || name == "export" || name == "render";
    for (const std::string& path :
         {work.file("fifo"), work.file("folder"), std::string("/dev/null")}) {
        if (takesFolders && path == work.file("folder")) continue;
        EXPECT_EQ(runTool(work, name + " '" + path + "'" + png), 2) << path;
        EXPECT_EQ(readText(work.file("err")), "Cannot open file " + path + "\n");
    }
    if (takesFolders) {
        EXPECT_EQ(
            runTool(work, name + " '" + work.file("folder") + "'" +
                              (name == "render" ? " --png-dir '" + work.file("p") + "'" : "")),
            0);
    }
    EXPECT_EQ(runTool(work, name + " '" + good + "'" + png), 0) << readText(work.file("err"));
    if (name != "render") {
        EXPECT_EQ(runTool(work, name + " '" + good + "'", "/dev/full"), 1);
        EXPECT_NE(readText(work.file("err")).find("standard output: No space left on device"),
                  std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Tool, FileReadingCommand,
                         ::testing::Values("info", "export", "render", "nmea", "track"),
                         [](const auto& info) { return std::string(info.param); });

TEST(RenderCommand, FullDiskFailsAndLeavesNoPicture) {
    TempDir work;
    work.write("GOOD.AB#", seqtest::encode(*seqtest::storeFromIntervals({100, 120, 60})));
    const std::string card = work.file("card");
    std::filesystem::create_directory(card);
    // 16 KiB in a mount namespace of its own: half of this picture (some 30 KiB) fits.
    const std::string mount = "mount -t tmpfs -o size=16k none '" + card + "'";
    if (std::system(("unshare -m sh -c \"" + mount + "\" 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs unshare and mount rights)";
    }
    const std::string script =
        mount + " && XDG_CONFIG_HOME='" + work.file("config") + "' " + kTool + " render '" +
        work.file("GOOD.AB#") + "' --size 2000x2000 --png '" + card +
        "/out.png'; status=\\$?; ls -A '" + card + "' >'" + work.file("left") + "'; exit \\$status";
    const int raw =
        std::system(("unshare -m sh -c \"" + script + "\" 2>'" + work.file("err") + "'").c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
    EXPECT_NE(readText(work.file("err")).find("No space left on device"), std::string::npos);
    EXPECT_EQ(readText(work.file("left")), "");  // no truncated picture, no temporary file
}

}  // namespace
