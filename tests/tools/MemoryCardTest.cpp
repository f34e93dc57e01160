// Saves onto a real FAT32 file system, as on a field recorder's memory card: an image made
// by mkfs.vfat and mounted through fusefat, which refuses hard links, rename flags and
// permission changes. Skips with a message where the tools or FUSE are missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "ChildProcess.h"
#include "platform/MessageSink.h"
#include "sequence/SequenceFormat.h"
#include "sequence/SequenceSaver.h"
#include "sequence/SequenceTestData.h"

using testing_support::ChildProcess;
namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";
constexpr long kFuseSuperMagic = 0x65735546;

using Bytes = std::vector<uint8_t>;

Bytes readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The program's path from PATH or the administrator's folders, or empty.
std::string findProgram(const std::string& name) {
    std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "";
    dirs += ":/usr/sbin:/sbin";
    std::istringstream parts(dirs);
    for (std::string dir; std::getline(parts, dir, ':');) {
        if (dir.empty()) continue;
        const fs::path candidate = fs::path(dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end with `input` on standard input.
ProgramRun run(const std::vector<std::string>& args, const fs::path& errFile,
               const std::string& input = {}) {
    ChildProcess child(args, errFile.string());
    ProgramRun r;
    if (!child.started()) return r;
    child.write(input);
    child.closeInput();
    // Waits for the exit first: fusefat leaves a daemon that keeps standard output open.
    r.status = child.wait(20000);
    for (std::string line; child.readLine(line, 200);) r.out += line + "\n";
    r.err = readText(errFile);
    return r;
}

bool isFuseMount(const fs::path& path) {
    struct statfs s {};
    return ::statfs(path.c_str(), &s) == 0 && static_cast<long>(s.f_type) == kFuseSuperMagic;
}

// A FAT32 image in a temporary folder, mounted at `mount` while the test runs.
class Fat32Card : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string mkfs = findProgram("mkfs.vfat");
        fusefat_ = findProgram("fusefat");
        fusermount_ = findProgram("fusermount");
        if (fusermount_.empty()) fusermount_ = findProgram("fusermount3");
        if (mkfs.empty() || fusefat_.empty() || fusermount_.empty()) {
            GTEST_SKIP() << "needs mkfs.vfat (dosfstools), fusefat and fusermount";
        }
        const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fuse < 0) GTEST_SKIP() << "FUSE is not available here (/dev/fuse cannot be opened)";
        ::close(fuse);

        char pattern[] = "/tmp/zelkora-card-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        image_ = root / "card.img";
        mount = root / "card";
        fs::create_directories(mount);
        { std::ofstream(image_).flush(); }
        fs::resize_file(image_, 40 << 20);
        ProgramRun made = run({mkfs, "-F", "32", image_.string()}, root / "mkfs.err");
        ASSERT_EQ(made.status, 0) << made.err;
        mountCard();
    }

    void TearDown() override {
        if (root.empty()) return;
        unmountCard();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void mountCard() {
        ProgramRun mounted =
            run({fusefat_, "-o", "rw+", image_.string(), mount.string()}, root / "fusefat.err");
        for (int i = 0; i < 100 && !isFuseMount(mount); ++i) ::usleep(50000);
        if (!isFuseMount(mount)) {
            GTEST_SKIP() << "fusefat could not mount the image here: " << mounted.err;
        }
        mounted_ = true;
    }

    void unmountCard() {
        if (!mounted_) return;
        for (int i = 0; i < 50 && isFuseMount(mount); ++i) {
            run({fusermount_, "-u", mount.string()}, root / "umount.err");
            if (isFuseMount(mount)) ::usleep(100000);
        }
        if (isFuseMount(mount)) run({fusermount_, "-u", "-z", mount.string()}, root / "umount.err");
        mounted_ = false;
    }

    std::vector<std::string> namesOnCard() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(mount)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path root;
    fs::path mount;

  private:
    fs::path image_;
    std::string fusefat_;
    std::string fusermount_;
    bool mounted_ = false;
};

TEST_F(Fat32Card, SavesNeverReplaceAndSurviveTheUnmount) {
    std::vector<std::string> messages;
    auto previous = platform::setMessageHandler(
        [&](const std::string& text, platform::MessageIcon) { messages.push_back(text); });
    const JulianTime start = JulianTime::fromDateTime(2011, 7, 1, 18, 45, 14, 250000);
    auto first = seqtest::storeFromIntervals({100, 120, 60, 5000, 9000, 3000000});
    auto second = seqtest::storeFromIntervals({200, 210});
    std::string a, b;
    const int32_t savedA = SequenceSaver::save(mount.string(), *first, {}, start, {}, &a);
    const int32_t savedB = SequenceSaver::save(mount.string(), *second, {}, start, {}, &b);
    platform::setMessageHandler(previous);
    ASSERT_EQ(savedA, 0);
    ASSERT_EQ(savedB, 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(a, "L7011845.14#");
    EXPECT_EQ(b, "L7011845.15#");

    // The command-line tool writes there too, and also moves on to a free name.
    for (int i = 0; i < 2; ++i) {
        ProgramRun encoded = run({kTool, "encode", "--ratio", "16", "--start",
                                  "2011-07-01 18:45:20", "--dir", mount.string()},
                                 root / "encode.err", "100\n120\n");
        ASSERT_EQ(encoded.status, 0) << encoded.err;
    }
    const std::vector<std::string> expected{"L7011845.14#", "L7011845.15#", "L7011845.20#",
                                            "L7011845.21#"};
    EXPECT_EQ(namesOnCard(), expected);  // and no temporary file or empty claim beside them

    // What was written is on the card itself, not only in a cache.
    unmountCard();
    mountCard();
    EXPECT_EQ(namesOnCard(), expected);
    EXPECT_EQ(readAll(mount / a), seqtest::encode(*first, SequenceStartTime::fromJulian(start)));
    EXPECT_EQ(readAll(mount / b), seqtest::encode(*second, SequenceStartTime::fromJulian(start)));
    ProgramRun listed = run({kTool, "ls", mount.string()}, root / "ls.err");
    EXPECT_EQ(listed.out, "L7011845.14#\nL7011845.15#\nL7011845.20#\nL7011845.21#\n");
    ProgramRun info = run({kTool, "info", (mount / "L7011845.21#").string()}, root / "info.err");
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("dots: 3"), std::string::npos) << info.out;
}

TEST_F(Fat32Card, MonitorRecordingSavesItsPassesOnTheCard) {
    // The module simulator feeds `record --monitor`, whose folder is on the card.
    fs::create_directories(root / "run");
    ::chmod((root / "run").c_str(), 0700);
    fs::create_directories(root / "config" / "Chirova");
    std::ofstream(root / "config" / "Chirova" / "zelkora.ini") << "[Zelkora]\nautoMaxTBC=1000000\n";
    ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    ChildProcess simulator(
        {kTool, "simulate-module", "--mix", "passes", "--calls-per-second", "4", "--seed", "9"},
        (root / "sim.err").string());
    std::string line;
    ASSERT_TRUE(simulator.readLine(line, 5000));
    ASSERT_EQ(line.rfind("COM", 0), 0u) << line;
    const std::string port = std::to_string(std::atoi(line.c_str() + 3));
    const fs::path folder = mount / "Batfiles";
    ChildProcess recorder(
        {kTool, "record", "--monitor", "--port", port, "--seconds", "12", "--dir", folder.string()},
        (root / "record.err").string());
    std::vector<std::string> saved;
    while (recorder.readLine(line, 20000)) {
        if (line.rfind("saved ", 0) == 0) saved.push_back(line.substr(6));
    }
    EXPECT_EQ(recorder.wait(5000), 0) << readText(root / "record.err");
    simulator.signal(SIGTERM);
    simulator.wait(5000);

    ASSERT_GE(saved.size(), 1u) << readText(root / "record.err");
    std::vector<std::string> onCard;
    for (const auto& e : fs::directory_iterator(folder)) {
        onCard.push_back(e.path().filename().string());
    }
    std::sort(onCard.begin(), onCard.end());
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(onCard, saved);
    for (const std::string& name : saved) {
        DotStore store;
        EXPECT_GT(decodeSequenceImage(readAll(folder / name), store), 1) << name;
    }
}

}  // namespace
