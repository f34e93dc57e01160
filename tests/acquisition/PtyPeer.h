#pragma once
// A pseudo-terminal pair registered as a virtual port, for tests that need a real serial
// line: the code under test opens the port by number, the test plays the far end on the
// master side. The registry lives in a private XDG_RUNTIME_DIR.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/SerialDevices.h"

namespace testing_support {

// Points XDG_RUNTIME_DIR at a fresh private folder for the lifetime of the object.
class PrivateRuntimeDir {
  public:
    PrivateRuntimeDir() {
        char pattern[] = "/tmp/zelkora-link-test-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        dir_ = made ? made : "";
        if (const char* old = ::getenv("XDG_RUNTIME_DIR")) old_ = old, hadOld_ = true;
        ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    }
    ~PrivateRuntimeDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        if (hadOld_) {
            ::setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }
    const std::string& path() const { return dir_; }

    // Writes a registry entry the way the simulators do.
    void registerPort(int32_t port, const std::string& device, const std::string& name,
                      long pid = ::getpid()) const {
        const std::string folder = platform::virtualPortFolder();
        std::filesystem::create_directories(folder);
        std::ofstream out(folder + std::to_string(port));
        out << device << "\n" << name << "\n" << pid << "\n";
    }

  private:
    std::string dir_;
    std::string old_;
    bool hadOld_ = false;
};

class PtyPeer {
  public:
    PtyPeer() {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
            slavePath_ = name;
            // The slave end is opened again by the code under test; keeping this descriptor
            // would hide hang-ups from the master side, so it goes at once.
            ::close(slave);
            ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPeer() { hangUp(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }

    void send(const std::vector<uint8_t>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else {
                pollfd p{master_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
    }

    // Everything that arrives within `ms` after the last byte (at most `limit` bytes).
    std::vector<uint8_t> receive(int ms, size_t limit = 1 << 20) const {
        std::vector<uint8_t> got;
        uint8_t buf[4096];
        while (got.size() < limit) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, ms) <= 0 || !(p.revents & POLLIN)) break;
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    void hangUp() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    std::string slavePath_;
};

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace testing_support
