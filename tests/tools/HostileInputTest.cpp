// What the file-reading commands do with paths that are no regular file, and with output
// that cannot be written: refused at once, never waited on, never reported as success.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

#include "gps/TrackRecord.h"
#include "sequence/SequenceTestData.h"
#include "support/TempDir.h"

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";
// The exit status of `timeout` when the command was still running at its limit.
constexpr int kStillRunning = 124;

struct ToolRun {
    int status = -1;
    std::string err;
};

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the tool within 10 seconds, so that a reader waiting on a FIFO fails the test instead
// of hanging it; standard output goes to `out`. Settings come from an empty folder.
ToolRun runTool(const TempDir& work, const std::string& args, const std::string& out) {
    const std::string command = "XDG_CONFIG_HOME='" + work.file("config") + "' timeout -k 2 10 " +
                                kTool + " " + args + " </dev/null >" + out + " 2>'" +
                                work.file("err") + "'";
    const int raw = std::system(command.c_str());
    ToolRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = readText(work.file("err"));
    return r;
}

// A path that is neither missing nor a regular file.
bool makeSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);  // the socket file stays behind
    return bound;
}

struct CommandCase {
    const char* name;
    const char* goodFile;  // a file the command reads successfully, made by the fixture
    const char* options;   // after the file
    bool writesStandardOutput;
};

// Test names stay the same from run to run (the default would print the pointers).
void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.name << ' ' << c.options;
}

class FileReadingCommand : public ::testing::TestWithParam<CommandCase> {
  protected:
    void SetUp() override {
        work.write("GOOD.AB#", seqtest::encode(*seqtest::storeFromIntervals({100, 120, 60})));
        std::ofstream(work.file("good.nmea"), std::ios::binary)
            << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
        std::array<uint8_t, TrackRecord::kSize> record{};
        TrackRecord{}.encode(record);
        work.write("GPS.zlg", std::vector<uint8_t>(record.begin(), record.end()));
        ASSERT_EQ(::mkfifo(work.file("fifo").c_str(), 0600), 0);
        std::filesystem::create_directory(work.file("folder"));
        ASSERT_TRUE(makeSocket(work.file("socket")));
    }

    std::string command(const std::string& file) const {
        const CommandCase& c = GetParam();
        std::string options = c.options;
        if (const auto at = options.find("OUT"); at != std::string::npos) {
            options.replace(at, 3, work.file("out.png"));
        }
        return std::string(c.name) + " '" + file + "' " + options;
    }

    TempDir work;
};

TEST_P(FileReadingCommand, RefusesWhatIsNoRegularFileAtOnceAndFailsOnFullOutput) {
    for (const std::string& path :
         {work.file("fifo"), work.file("folder"), work.file("socket"), std::string("/dev/null")}) {
        const ToolRun r = runTool(work, command(path), "/dev/null");
        ASSERT_NE(r.status, kStillRunning) << path << " was waited on";
        EXPECT_EQ(r.status, 2) << path;
        EXPECT_EQ(r.err, "Cannot open file " + path + "\n");
    }
    const std::string good = work.file(GetParam().goodFile);
    EXPECT_EQ(runTool(work, command(good), "/dev/null").status, 0);
    if (GetParam().writesStandardOutput) {
        const ToolRun full = runTool(work, command(good), "/dev/full");
        EXPECT_EQ(full.status, 1);
        EXPECT_NE(full.err.find("cannot write to standard output: No space left on device"),
                  std::string::npos)
            << full.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Tool, FileReadingCommand,
                         ::testing::Values(CommandCase{"info", "GOOD.AB#", "", true},
                                           CommandCase{"info", "GOOD.AB#", "--json", true},
                                           CommandCase{"export", "GOOD.AB#", "", true},
                                           CommandCase{"render", "GOOD.AB#", "--png 'OUT'", false},
                                           CommandCase{"nmea", "good.nmea", "", true},
                                           CommandCase{"track", "GPS.zlg", "", true}),
                         [](const ::testing::TestParamInfo<CommandCase>& info) {
                             return std::string(info.param.name) +
                                    (info.param.options[0] == '-' ? "Options" : "");
                         });

TEST(RenderCommand, FullDiskFailsAndLeavesNoPicture) {
    TempDir work;
    work.write("GOOD.AB#", seqtest::encode(*seqtest::storeFromIntervals({100, 120, 60})));
    const std::string card = work.file("card");
    std::filesystem::create_directory(card);
    // A 16 KiB file system in a mount namespace of its own: half the picture fits (the
    // picture of this size takes some 30 KiB).
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
    EXPECT_NE(readText(work.file("err")).find("No space left on device"), std::string::npos)
        << readText(work.file("err"));
    EXPECT_EQ(readText(work.file("left")), "");  // no truncated picture, no temporary file
}

TEST(RenderCommand, PictureGoesThroughLinksAndIntoPipes) {
    TempDir work;
    work.write("GOOD.AB#", seqtest::encode(*seqtest::storeFromIntervals({100, 120, 60})));
    std::filesystem::create_symlink("real.png", work.file("link.png"));
    const std::string render = "render '" + work.file("GOOD.AB#") + "' --png ";
    EXPECT_EQ(runTool(work, render + "'" + work.file("link.png") + "'", "/dev/null").status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(work.file("link.png")));
    EXPECT_EQ(readText(work.file("real.png")).substr(1, 3), "PNG");
    EXPECT_EQ(runTool(work, render + "/dev/stdout", "'" + work.file("piped") + "'").status, 0);
    EXPECT_EQ(readText(work.file("piped")).substr(1, 3), "PNG");  // the clock may differ
    std::filesystem::create_directory(work.file("folder"));
    EXPECT_EQ(runTool(work, render + "'" + work.file("folder") + "'", "/dev/null").status, 1);
}

}  // namespace
