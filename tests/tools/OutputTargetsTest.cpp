// Every command's output against what a user may name as one: a regular file (also through
// a link), a full disk, a FIFO, character devices made in the test's folder, standard
// output and the command's own input. Inputs that are no file: HostileInputTest.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
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

#include "support/SmallVolume.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"
#include "support/TrackLog.h"

using testing_support::readText;
using testing_support::Tool;
using testing_support::ToolRun;

namespace fs = std::filesystem;

namespace {

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
        testing_support::writeTrack(dir.file("GPS.zlg"), {0, 1, 2, 3, 4});
        fs::create_directories(dir.file("night"));
        const ToolRun r = tool.run("encode --ratio 16 --start '2026-06-12 22:14:03' --dir " +
                                       testing_support::quoted(dir.file("night")) +
                                       " --position 48.1234,-11.5678,520",
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
        const std::string map = "map " + testing_support::quoted(dir.file("GPS.zlg")) + " " +
                                testing_support::quoted(dir.file("night"));
        return {
            {"render --png",
             "render " + testing_support::quoted(sequence) + " --size 320x240 --png " +
                 testing_support::quoted(out),
             "\x89PNG"},
            {"map --gpx", map + " --gpx " + testing_support::quoted(out), "<?xml"},
            {"map --kml", map + " --kml " + testing_support::quoted(out), "<?xml"},
            {"map --png", map + " --png " + testing_support::quoted(out), "\x89PNG"},
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
    SmallVolume volume(16);
    if (!volume.ok()) GTEST_SKIP() << volume.reason();
    const std::string out = volume.path() + "/out";
    { std::ofstream(out) << "old"; }
    // A picture of which only a part fits (some 34 KiB on 16 KiB): no truncated picture, no
    // temporary file.
    const ToolRun big =
        tool.run("render " + testing_support::quoted(sequence) + " --size 2000x2000 --png " +
                 testing_support::quoted(volume.path() + "/big.png"));
    EXPECT_EQ(big.status, 1) << big.err;
    EXPECT_NE(big.err.find("No space left on device"), std::string::npos) << big.err;
    EXPECT_EQ(leftovers(volume.path(), {"out"}), std::vector<std::string>{});

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

    // A listening socket gets the bytes over a connection.
    const std::string socketPath = dir.file("sock");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    for (const Output& o : outputs(socketPath)) {
        SCOPED_TRACE(o.name);
        std::string got;
        std::thread reader([&] {
            const int fd = ::accept(listener, nullptr, nullptr);
            char chunk[4096];
            for (ssize_t n; fd >= 0 && (n = ::read(fd, chunk, sizeof chunk)) > 0;)
                got.append(chunk, n);
            if (fd >= 0) ::close(fd);
        });
        const ToolRun r = tool.run(o.args);
        if (r.status != 0) ::shutdown(listener, SHUT_RDWR);  // no connection will come
        reader.join();
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(got.rfind(o.begins, 0), 0u);
    }
    ::close(listener);
    EXPECT_TRUE(fs::is_socket(socketPath));

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
    const std::string map = "map " + testing_support::quoted(dir.file("GPS.zlg")) + " " +
                            testing_support::quoted(dir.file("night"));
    for (const std::string& args :
         {"render " + testing_support::quoted(sequence) + " --png " +
              testing_support::quoted(sequence),
          map + " --gpx " + testing_support::quoted(dir.file("GPS.zlg")),
          map + " --gpx " + testing_support::quoted(dir.file("other.gpx")) + " --png " +
              testing_support::quoted(dir.file("alias.zlg")),
          map + " --kml " + testing_support::quoted(sequence)}) {
        SCOPED_TRACE(args);
        const ToolRun r = tool.run(args);
        EXPECT_EQ(r.status, 64);
        EXPECT_NE(r.err.find("is the input"), std::string::npos) << r.err;
    }
    EXPECT_EQ(readText(dir.file("GPS.zlg")), track);
    EXPECT_EQ(readText(sequence), file);
    EXPECT_FALSE(fs::exists(dir.file("other.gpx")));
}

}  // namespace
