// Power cuts during saves: a child process saves sequences with the recorder's own saver and
// is killed with SIGKILL at random moments, again and again, until a given number of saves
// was attempted. Whatever the kills left, the folder list holds only whole sequence files,
// each of which opens, no temporary file or empty claim passes for a sequence file, and the
// orphan recovery then leaves nothing but whole sequence files behind.
//
// On the temporary folder's own file system (ext4 here) and on a FAT32 image through
// fusefat, which is slow and gets fewer saves.
#include <signal.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include "Fat32Card.h"
#include "PowerCutImage.h"
#include "platform/AtomicFile.h"
#include "sequence/OrphanRecovery.h"
#include "sequence/SequenceFolder.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

using namespace cardtest;
using testing_support::quoted;

namespace {

constexpr long kExt4SuperMagic = 0xEF53;

struct Tally {
    int32_t attempted = 0;  // saves begun
    int32_t completed = 0;  // saves that said they had ended
    int32_t kills = 0;
    int32_t midSave = 0;  // kills that landed between a save's beginning and its end
    std::map<int32_t, std::string> names;  // completed save -> its file name
};

// Saves until `saves` were begun, killing the saver after a random delay of up to
// `maxDelayMs` each time.
Tally saveUnderKills(const fs::path& folder, int32_t saves, int32_t maxDelayMs,
                     const fs::path& errFile) {
    Tally t;
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int32_t> delay(0, maxDelayMs);
    while (t.attempted < saves) {
        ChildProcess saver({POWER_CUT_SAVER, folder.string(), std::to_string(t.attempted),
                            std::to_string(saves - t.attempted)},
                           errFile.string());
        EXPECT_TRUE(saver.started());
        if (!saver.started()) break;
        std::this_thread::sleep_for(std::chrono::microseconds(delay(rng) * 1000 + delay(rng)));
        saver.signal(SIGKILL);
        const int status = saver.wait(10000);
        bool open = false;
        for (std::string line; saver.readLine(line, 1000);) {
            std::istringstream words(line);
            std::string what;
            int32_t index = -1;
            words >> what >> index;
            if (what == "begin") {
                ++t.attempted;
                open = true;
            } else if (what == "done") {
                ++t.completed;
                words >> t.names[index];
                open = false;
            } else {
                ADD_FAILURE() << "the saver said: " << line << "\n" << readText(errFile);
            }
        }
        if (status == 0) continue;  // it finished the last saves before the kill came
        ++t.kills;
        if (open) ++t.midSave;
    }
    return t;
}

bool isTemporary(const std::string& name) {
    return !platform::publishedNameOf(name).empty();
}

struct Leftovers {
    int32_t temporary = 0;
    int32_t emptyClaims = 0;
    int32_t torn = 0;  // sequence-named files that are not whole images
    int32_t other = 0;
};

Leftovers leftoversIn(const fs::path& folder) {
    Leftovers l;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (isTemporary(name)) {
            ++l.temporary;
        } else if (SequenceFolder::isSequenceFileName(name)) {
            if (fs::file_size(e.path()) == 0) {
                ++l.emptyClaims;
            } else if (!OrphanRecovery::isCompleteImage(readAll(e.path()))) {
                ++l.torn;
            }
        } else {
            ++l.other;
        }
    }
    return l;
}

// Makes every file look older than the recovery's minute, as the next night would find them.
// Both times are set: fusefat ignores a change of the modification time alone.
void ageFiles(const fs::path& folder) {
    timespec past[2];
    ::clock_gettime(CLOCK_REALTIME, &past[0]);
    past[0].tv_sec -= 300;
    past[1] = past[0];
    for (const auto& e : fs::directory_iterator(folder)) {
        EXPECT_EQ(::utimensat(AT_FDCWD, e.path().c_str(), past, 0), 0)
            << e.path() << ": " << std::strerror(errno) << " size " << fs::file_size(e.path());
    }
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The whole exercise on `folder`: kills, then the checks on what they left.
void powerCuts(const fs::path& folder, const fs::path& scratch, int32_t saves, int32_t maxDelayMs,
               const std::string& where) {
    const auto began = std::chrono::steady_clock::now();
    const Tally t = saveUnderKills(folder, saves, maxDelayMs, scratch / "saver.err");
    ASSERT_GE(t.attempted, saves);
    const Leftovers before = leftoversIn(folder);

    // Every completed save is there, byte for byte.
    for (const auto& [index, name] : t.names) {
        EXPECT_EQ(readAll(folder / name), powercut::imageOf(index)) << name;
    }
    // The list holds whole sequence files only, and each of them opens.
    testing_support::Tool tool;
    const testing_support::ToolRun listed = tool.run("ls " + quoted(folder.string()));
    ASSERT_EQ(listed.status, 0) << listed.err;
    const std::vector<std::string> names = lines(listed.out);
    EXPECT_GE(names.size(), t.names.size());
    std::string info = "info --json";
    for (const std::string& name : names) {
        EXPECT_FALSE(isTemporary(name)) << name;
        EXPECT_TRUE(OrphanRecovery::isCompleteImage(readAll(folder / name)))
            << name << " is listed but is no whole sequence";
        info += " " + quoted((folder / name).string());
    }
    const testing_support::ToolRun opened = tool.run(info);
    EXPECT_EQ(opened.status, 0) << opened.err;
    EXPECT_EQ(static_cast<size_t>(std::count(opened.out.begin(), opened.out.end(), '\n')),
              names.size())
        << "one line per file";

    // A day later the recovery gives every whole orphan its name and removes the rest.
    ageFiles(folder);
    const OrphanRecovery::Result swept = OrphanRecovery::sweep(folder.string());
    const Leftovers after = leftoversIn(folder);
    EXPECT_EQ(after.temporary, 0);
    EXPECT_EQ(after.emptyClaims, 0);
    EXPECT_EQ(after.torn, 0);
    EXPECT_EQ(after.other, 0);
    for (const auto& [index, name] : t.names) {
        EXPECT_EQ(readAll(folder / name), powercut::imageOf(index)) << name;
    }
    const testing_support::ToolRun relisted = tool.run("ls " + quoted(folder.string()));
    const size_t files = lines(relisted.out).size();
    EXPECT_GE(files, t.names.size());
    EXPECT_LE(files, static_cast<size_t>(t.attempted));

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::cout << where << ": " << t.attempted << " saves begun, " << t.completed << " completed, "
              << t.kills << " kills, " << t.midSave
              << " of them mid-save; left: " << before.temporary << " temporary, "
              << before.emptyClaims << " empty claims, " << before.torn
              << " torn sequence-named; recovery published " << swept.published << ", removed "
              << swept.removed << " (" << swept.waiting << " waiting); " << files
              << " files listed after; " << seconds << " s\n";
}

bool onExt4(const fs::path& path) {
    struct statfs s {};
    return ::statfs(path.c_str(), &s) == 0 && static_cast<long>(s.f_type) == kExt4SuperMagic;
}

// An ext4 image mounted through a loop device, for where the temporary folder is on another
// file system (overlayfs in many containers). Mounting needs root; without it, ok() is false
// and reason() says why.
class LoopExt4 {
  public:
    explicit LoopExt4(const fs::path& root) : image_(root / "ext4.img"), mount_(root / "ext4") {
        const std::string mkfs = findProgram("mkfs.ext4");
        if (mkfs.empty()) {
            reason_ = "mkfs.ext4 (e2fsprogs) is missing";
            return;
        }
        fs::create_directories(mount_);
        { std::ofstream(image_).flush(); }
        fs::resize_file(image_, 64 << 20);
        const ProgramRun made = run({mkfs, "-q", "-F", image_.string()}, root / "mkfs.err");
        const ProgramRun mounted =
            run({findProgram("mount"), "-o", "loop", image_.string(), mount_.string()},
                root / "mount.err");
        mounted_ = made.status == 0 && mounted.status == 0 && onExt4(mount_);
        if (!mounted_) reason_ = "cannot mount an ext4 image: " + made.err + mounted.err;
    }
    ~LoopExt4() {
        if (mounted_) run({findProgram("umount"), mount_.string()}, mount_.parent_path() / "u.err");
    }
    LoopExt4(const LoopExt4&) = delete;
    LoopExt4& operator=(const LoopExt4&) = delete;

    bool ok() const { return mounted_; }
    const std::string& reason() const { return reason_; }
    const fs::path& path() const { return mount_; }

  private:
    fs::path image_;
    fs::path mount_;
    bool mounted_ = false;
    std::string reason_;
};

TEST(PowerCut, SavesKilledOnExt4KeepEveryFileWhole) {
    TempDir dir;
    fs::path folder = dir.file("Batfiles");
    std::unique_ptr<LoopExt4> image;
    if (!onExt4(dir.path())) {
        std::cout << "the temporary folder " << dir.path()
                  << " is not on ext4: trying an ext4 image\n";
        image = std::make_unique<LoopExt4>(dir.path());
        if (!image->ok()) GTEST_SKIP() << image->reason();
        folder = image->path() / "Batfiles";
    }
    fs::create_directories(folder);
    powerCuts(folder, dir.path(), 1000, 40, "ext4");
}

TEST_F(Fat32Card, SavesKilledOnTheCardKeepEveryFileWhole) {
    fs::create_directories(mount / "Batfiles");
    powerCuts(mount / "Batfiles", root, 100, 300, "FAT32 through fusefat");
}

}  // namespace
