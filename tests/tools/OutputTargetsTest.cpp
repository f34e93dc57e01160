// Outputs against what a user may name as one: a regular file (also through a link), a full
// disk, a FIFO, a socket, character devices made in the test's folder, standard output and the
// command's own input. Inputs that are no file: HostileInputTest.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/SmallVolume.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"
#include "support/TrackLog.h"

using testing_support::quoted;
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

// What a command writes into a FIFO, or into a listening socket (`listener` >= 0), read to
// its end on a thread of its own.
class Receiver {
  public:
    Receiver(std::string path, int listener) : path_(std::move(path)), listener_(listener) {
        thread_ = std::thread([this] {
            const int fd = listener_ >= 0 ? ::accept(listener_, nullptr, nullptr)
                                          : ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
            char chunk[4096];
            for (ssize_t n; fd >= 0 && (n = ::read(fd, chunk, sizeof chunk)) > 0;) {
                text_.append(chunk, n);
            }
            if (fd >= 0) ::close(fd);
        });
    }
    // Waits for the end. A FIFO the command never opened is stood in for; a command that
    // failed will not connect, so the listener is shut.
    std::string finish(bool failed) {
        if (listener_ < 0) {
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
        } else if (failed) {
            ::shutdown(listener_, SHUT_RDWR);
        }
        thread_.join();
        return text_;
    }

  private:
    std::string path_;
    int listener_;
    std::string text_;
    std::thread thread_;
};

class OutputTargets : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::writeTrack(dir.file("GPS.zlg"), {0, 1, 2, 3, 4});
        fs::create_directories(dir.file("night"));
        const ToolRun r =
            tool.run("encode --ratio 16 --start '2026-06-12 22:14:03' --dir " +
                         quoted(dir.file("night")) + " --position 48.1234,-11.5678,520",
                     "30\n35\n40\n45\n50\n55\n60\n65\n70\n");
        ASSERT_EQ(r.status, 0) << r.err;
        sequence = r.out.substr(0, r.out.find('\n'));
        ASSERT_TRUE(fs::is_regular_file(sequence)) << r.out;
    }

    // A picture of the sequence, and the map of the track and the night, with `more` options.
    std::string render(const std::string& more) const {
        return "render " + quoted(sequence) + " " + more;
    }
    std::string map(const std::string& more) const {
        return "map " + quoted(dir.file("GPS.zlg")) + " " + quoted(dir.file("night")) + " " + more;
    }

    TempDir dir;
    Tool tool;
    std::string sequence;
};

// The one writer behind every output, here through map --gpx: a regular file is replaced
// whole (through a link, the file it names); standard output, a FIFO, a socket and devices
// are written in place and stay what they are. That every output of every command goes
// through this writer shows on a full disk (the next test).
TEST_F(OutputTargets, EveryKindOfTargetIsWrittenAndOnlyFilesAreReplaced) {
    const auto gpx = [&](const std::string& out) { return tool.run(map("--gpx " + quoted(out))); };
    // Standard output, here a file the shell opened, is written through the descriptor; what
    // it gets is what every other target must get.
    ToolRun r = gpx("/dev/stdout");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string written = r.out;
    ASSERT_EQ(written.rfind("<?xml", 0), 0u) << written;
    EXPECT_GT(written.size(), 100u);
    // "-" is standard output too, not a file of that name in the working folder.
    r = gpx("-");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, written);
    EXPECT_FALSE(fs::exists("-")) << "a file named '-' was written";

    // An older, longer file of that name is replaced whole, and nothing else is left beside it.
    dir.write("out", std::vector<uint8_t>(100000, 'x'));
    r = gpx(dir.file("out"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readText(dir.file("out")), written);
    EXPECT_EQ(leftovers(dir.path(), {"GPS.zlg", "night", "out"}), std::vector<std::string>{});
    fs::create_symlink("target", dir.file("link"));
    r = gpx(dir.file("link"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_EQ(readText(dir.file("target")), written);

    const std::string fifo = dir.file("fifo"), socketPath = dir.file("sock");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    for (const int l : {-1, listener}) {
        const std::string path = l < 0 ? fifo : socketPath;
        Receiver receiver(path, l);
        r = gpx(path);
        const std::string got = receiver.finish(r.status != 0);
        EXPECT_EQ(r.status, 0) << path << ": " << r.err;
        EXPECT_EQ(got, written) << path;
    }
    ::close(listener);
    EXPECT_TRUE(fs::is_fifo(fifo)) << "the FIFO was replaced";
    EXPECT_TRUE(fs::is_socket(socketPath)) << "the socket was replaced";

    // The null device swallows everything; the full device refuses every byte.
    const std::string null = dir.file("null"), full = dir.file("full");
    if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        ::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "cannot make device nodes here: " << std::strerror(errno);
    }
    r = gpx(null);
    EXPECT_EQ(r.status, 0) << r.err;
    r = gpx(full);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot write file " + full + ": No space left on device\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::is_character_file(null) && fs::is_character_file(full))
        << "a device was replaced";
}

// Each output of each command on a full disk: status 1 with the writer's own message, the old
// file kept and nothing left beside it. This shows that every output goes through the writer.
TEST_F(OutputTargets, AFullDiskLeavesTheOldFileAndNothingElse) {
    SmallVolume volume(16);
    if (!volume.ok()) GTEST_SKIP() << volume.reason();
    const std::string out = volume.path() + "/out";
    { std::ofstream(out) << "old"; }
    // A picture of which only a part fits (some 34 KiB on 16 KiB): no truncated picture, no
    // temporary file.
    const ToolRun big =
        tool.run(render("--size 2000x2000 --png " + quoted(volume.path() + "/big.png")));
    EXPECT_EQ(big.status, 1) << big.err;
    EXPECT_NE(big.err.find("No space left on device"), std::string::npos) << big.err;
    EXPECT_EQ(leftovers(volume.path(), {"out"}), std::vector<std::string>{});

    volume.fill();
    for (const std::string& args :
         {render("--size 320x240 --png " + quoted(out)), map("--gpx " + quoted(out)),
          map("--kml " + quoted(out)), map("--png " + quoted(out))}) {
        SCOPED_TRACE(args);
        const ToolRun r = tool.run(args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("Cannot write file " + out + ": No space left on device\n"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(readText(out), "old");
        EXPECT_EQ(leftovers(volume.path(), {"out", "filler", "filler-tail"}),
                  std::vector<std::string>{});
    }
}

TEST_F(OutputTargets, AnOutputThatIsAnInputIsRefusedBeforeReading) {
    const std::string track = readText(dir.file("GPS.zlg"));
    const std::string file = readText(sequence);
    fs::create_symlink(dir.file("GPS.zlg"), dir.file("alias.zlg"));
    for (const std::string& args :
         {render("--png " + quoted(std::as_const(sequence))),
          map("--gpx " + quoted(dir.file("GPS.zlg"))),
          map("--gpx " + quoted(dir.file("other.gpx")) + " --png " + quoted(dir.file("alias.zlg"))),
          map("--kml " + quoted(std::as_const(sequence)))}) {
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
