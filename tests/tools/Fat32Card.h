#pragma once
// A FAT32 image made by mkfs.vfat and mounted through fusefat while a test runs, as a field
// recorder's memory card: the driver refuses hard links, rename flags and permission changes.
// The fixture skips with a message where the tools or FUSE are missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace cardtest {

namespace fs = std::filesystem;
using testing_support::ChildProcess;

inline constexpr long kFuseSuperMagic = 0x65735546;

using Bytes = std::vector<uint8_t>;

inline Bytes readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The program's path from PATH or the administrator's folders, or empty.
inline std::string findProgram(const std::string& name) {
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
inline ProgramRun run(const std::vector<std::string>& args, const fs::path& errFile,
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

inline bool isFuseMount(const fs::path& path) {
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

}  // namespace cardtest
