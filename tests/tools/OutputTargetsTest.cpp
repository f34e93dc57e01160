// Every command's output against what a user may name as one: a regular file (also through
// a link), a full disk, a FIFO, character devices made in the test's folder, standard
// output and the command's own input; and every input against what is not a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gps/TrackRecord.h"
#include "support/SmallVolume.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

using testing_support::readText;
using testing_support::Tool;
using testing_support::ToolRun;

namespace fs = std::filesystem;

namespace {

// A word of a shell command line.
std::string sh(const std::string& s) {
    return testing_support::quoted(s);
}

// A short track north through 20:10 UTC on 12 June 2026.
void writeTrack(const std::string& path, int records) {
    std::ofstream out(path, std::ios::binary);
    for (int s = 0; s < records; ++s) {
        TrackRecord r;
        r.year = 2026;
        r.month = 6;
        r.day = 12;
        r.timeMs = (20 * 3600 + 10 * 60 + s) * 1000;
        r.latitudeE6 = 48123400 + 10 * s;
        r.longitudeE6 = -11567800;
        r.status = '=';
        std::array<uint8_t, TrackRecord::kSize> bytes{};
        r.encode(bytes);
        out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
}

// Folder entries other than those named: what a failed write may have left behind.
std::vector<std::string> leftovers(const std::string& folder,
                                   const std::vector<std::string>& known) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (std::find(known.begin(), known.end(), name) == known.end()) out.push_back(name);
    }
    return out;
}

// Reads a FIFO to its end on a thread of its own while a command writes into it.
class FifoReader {
  public:
    explicit FifoReader(std::string path) : path_(std::move(path)) {
        thread_ = std::thread([this] {
            const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) return;
            char chunk[4096];
            for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) text_.append(chunk, n);
            ::close(fd);
        });
    }
    // Waits for the end; a command that never opened the FIFO is stood in for.
    std::string finish() {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        thread_.join();
        return text_;
    }

  private:
    std::string path_;
    std::string text_;
    std::thread thread_;
};

class OutputTargets : public ::testing::Test {
  protected:
    void SetUp() override {
        writeTrack(dir.file("GPS.zlg"), 5);
        fs::create_directories(dir.file("night"));
        const ToolRun r = tool.run("encode --ratio 16 --start '2026-06-12 22:14:03' --dir " +
                                       sh(dir.file("night")) + " --position 48.1234,-11.5678,520",
                                   "30\n35\n40\n45\n50\n55\n60\n65\n70\n");
        ASSERT_EQ(r.status, 0) << r.err;
        sequence = r.out.substr(0, r.out.find('\n'));
        ASSERT_TRUE(fs::is_regular_file(sequence)) << r.out;
    }

    // The command line that writes `out` for each kind of output, and how its bytes begin.
    struct Output {
        std::string name;
        std::string args;
        std::string begins;
    };
    std::vector<Output> outputs(const std::string& out) const {
        const std::string map = "map " + sh(dir.file("GPS.zlg")) + " " + sh(dir.file("night"));
        return {
            {"render --png", "render " + sh(sequence) + " --size 320x240 --png " + sh(out),
             "\x89PNG"},
            {"map --gpx", map + " --gpx " + sh(out), "<?xml"},
            {"map --kml", map + " --kml " + sh(out), "<?xml"},
            {"map --png", map + " --png " + sh(out), "\x89PNG"},
        };
    }

    TempDir dir;
    Tool tool;
    std::string sequence;
};

TEST_F(OutputTargets, RegularFilesLinksAndStandardOutput) {
    const std::vector<Output> plain = outputs(dir.file("out"));
    const std::vector<Output> linked = outputs(dir.file("link"));
    for (size_t i = 0; i < plain.size(); ++i) {
        SCOPED_TRACE(plain[i].name);
        // An older file of that name is replaced whole, and nothing else is left beside it.
        dir.write("out", std::vector<uint8_t>(100000, 'x'));
        ToolRun r = tool.run(plain[i].args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readText(dir.file("out")).rfind(plain[i].begins, 0), 0u);
        EXPECT_EQ(leftovers(dir.path(), {"GPS.zlg", "night", "out"}), std::vector<std::string>{});

        // Through a link the file it names is replaced, and the link stays a link.
        fs::create_symlink("target", dir.file("link"));
        r = tool.run(linked[i].args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(fs::is_symlink(dir.file("link")));
        EXPECT_EQ(readText(dir.file("target")).rfind(plain[i].begins, 0), 0u);
        fs::remove(dir.file("link"));
        fs::remove(dir.file("target"));
    }
    // Standard output, here a file the shell opened: written through the descriptor.
    for (const Output& o : outputs("/dev/stdout")) {
        SCOPED_TRACE(o.name);
        const ToolRun r = tool.run(o.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.rfind(o.begins, 0), 0u);
        EXPECT_GT(r.out.size(), 100u);
    }
}

TEST_F(OutputTargets, AFullDiskLeavesTheOldFileAndNothingElse) {
    SmallVolume volume(64);
    if (!volume.ok()) GTEST_SKIP() << volume.reason();
    const std::string out = volume.path() + "/out";
    { std::ofstream(out) << "old"; }
    volume.fill();
    for (const Output& o : outputs(out)) {
        SCOPED_TRACE(o.name);
        const ToolRun r = tool.run(o.args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("Cannot write file " + out + ": No space left on device\n"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(readText(out), "old");
        EXPECT_EQ(leftovers(volume.path(), {"out", "filler", "filler-tail"}),
                  std::vector<std::string>{});
    }
}

TEST_F(OutputTargets, FifosAndDevicesAreWrittenNeverReplaced) {
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const Output& o : outputs(fifo)) {
        SCOPED_TRACE(o.name);
        FifoReader reader(fifo);
        const ToolRun r = tool.run(o.args);
        const std::string got = reader.finish();
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(got.rfind(o.begins, 0), 0u);
        struct stat st {};
        ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
    }

    // The null device swallows everything; the full device refuses every byte.
    const std::string null = dir.file("null"), full = dir.file("full");
    if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        ::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "cannot make device nodes here: " << std::strerror(errno);
    }
    for (size_t i = 0; i < outputs(null).size(); ++i) {
        SCOPED_TRACE(outputs(null)[i].name);
        ToolRun r = tool.run(outputs(null)[i].args);
        EXPECT_EQ(r.status, 0) << r.err;
        r = tool.run(outputs(full)[i].args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("Cannot write file " + full + ": No space left on device\n"),
                  std::string::npos)
            << r.err;
        for (const std::string& node : {null, full}) {
            struct stat st {};
            ASSERT_EQ(::stat(node.c_str(), &st), 0);
            EXPECT_TRUE(S_ISCHR(st.st_mode)) << node << " was replaced";
        }
    }
}

TEST_F(OutputTargets, AnOutputThatIsAnInputIsRefusedBeforeReading) {
    const std::string track = readText(dir.file("GPS.zlg"));
    const std::string file = readText(sequence);
    fs::create_symlink(dir.file("GPS.zlg"), dir.file("alias.zlg"));
    const std::string map = "map " + sh(dir.file("GPS.zlg")) + " " + sh(dir.file("night"));
    for (const std::string& args :
         {"render " + sh(sequence) + " --png " + sh(sequence),
          map + " --gpx " + sh(dir.file("GPS.zlg")),
          map + " --gpx " + sh(dir.file("other.gpx")) + " --png " + sh(dir.file("alias.zlg")),
          map + " --kml " + sh(sequence)}) {
        SCOPED_TRACE(args);
        const ToolRun r = tool.run(args);
        EXPECT_EQ(r.status, 64);
        EXPECT_NE(r.err.find("is the input"), std::string::npos) << r.err;
    }
    EXPECT_EQ(readText(dir.file("GPS.zlg")), track);
    EXPECT_EQ(readText(sequence), file);
    EXPECT_FALSE(fs::exists(dir.file("other.gpx")));
}

TEST_F(OutputTargets, InputsThatAreNoFilesAreRefusedAtOnce) {
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A config far beyond any real one, and a folder, a FIFO and an endless device.
    dir.write("huge.conf", std::vector<uint8_t>(1024 * 1024 + 1, '#'));
    std::vector<std::string> notFiles = {dir.path(), fifo};
    const std::string zero = dir.file("zero");
    if (::mknod(zero.c_str(), S_IFCHR | 0666, makedev(1, 5)) == 0) notFiles.push_back(zero);
    const std::string gpx = sh(dir.file("out.gpx"));
    for (const std::string& input : notFiles) {
        SCOPED_TRACE(input);
        for (const std::string& args :
             {"map " + sh(input) + " --gpx " + gpx, "track " + sh(input),
              "import " + sh(input) + " --dir " + sh(dir.file("imported")),
              "station --config " + sh(input) + " --now --seconds 1",
              "check-sent --log " + sh(input) + " " + sh(dir.file("night"))}) {
            SCOPED_TRACE(args);
            const ToolRun r = tool.run(args);
            EXPECT_EQ(r.status, 2) << r.err;
            EXPECT_NE(r.err.find("Cannot open file " + input), std::string::npos) << r.err;
        }
    }
    EXPECT_FALSE(fs::exists(dir.file("out.gpx")));
    ToolRun r = tool.run("station --config " + sh(dir.file("huge.conf")) + " --now");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("larger than 1 MiB"), std::string::npos) << r.err;

    // A log line that is not one names its line.
    std::ofstream(dir.file("sent.log")) << "# sent\nI 1 40\nI 1 abc\n";
    r = tool.run("check-sent --log " + sh(dir.file("sent.log")) + " " + sh(dir.file("night")));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
}

}  // namespace
