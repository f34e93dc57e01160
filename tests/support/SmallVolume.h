#pragma once
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/TempDir.h"

// A small tmpfs mounted on a fresh folder, to see what a full disk does. Mounting needs the
// right to mount (root, or a user and mount namespace); where it is refused, ok() is false
// and reason() says why, so that the test can skip.
class SmallVolume {
  public:
    explicit SmallVolume(int kib) {
        const std::string options = "size=" + std::to_string(kib) + "k,mode=0755";
        if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0) {
            mounted_ = true;
        } else {
            reason_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        }
    }
    ~SmallVolume() {
        if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;

    bool ok() const { return mounted_; }
    const std::string& reason() const { return reason_; }
    const std::string& path() const { return dir_.path(); }

    // Fills the volume to the last byte with one file.
    void fill() {
        std::ofstream out(filler(), std::ios::binary);
        const std::vector<char> block(4096, 'x');
        while (out.write(block.data(), static_cast<std::streamsize>(block.size()))) {
        }
        out.close();
        // Whatever a partial block left.
        std::ofstream tail(filler() + "-tail", std::ios::binary);
        while (tail.put('x') && tail.flush()) {
        }
    }
    // Frees what fill() took.
    void free() {
        std::error_code ec;
        std::filesystem::remove(filler(), ec);
        std::filesystem::remove(filler() + "-tail", ec);
    }

  private:
    std::string filler() const { return dir_.path() + "/filler"; }

    TempDir dir_;
    bool mounted_ = false;
    std::string reason_;
};
