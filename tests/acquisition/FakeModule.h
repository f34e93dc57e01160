#pragma once
// A DETLINK module played on the master side of a PtyPeer: it answers 'v' with a reply of
// the test's choice, sends prepared bytes after each 'G' and notes every command it gets.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/PtyPeer.h"

namespace testing_support {

class FakeModule {
  public:
    FakeModule(PtyPeer& peer, std::vector<uint8_t> reply) : peer_(peer), reply_(std::move(reply)) {
        thread_ = std::thread([this] { run(); });
    }
    ~FakeModule() {
        done_ = true;
        thread_.join();
    }
    // What to send after the n-th 'G' (the first is index 0).
    void streamAfterStart(std::vector<uint8_t> bytes) {
        std::lock_guard lock(mutex_);
        streams_.push_back(std::move(bytes));
    }
    std::string commands() const {
        std::lock_guard lock(mutex_);
        return commands_;
    }

  private:
    void run() {
        while (!done_) {
            pollfd p{peer_.master(), POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0) continue;
            uint8_t buf[64];
            const ssize_t n = ::read(peer_.master(), buf, sizeof buf);
            if (n <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            for (ssize_t i = 0; i < n; ++i) {
                std::vector<uint8_t> toSend;
                {
                    std::lock_guard lock(mutex_);
                    commands_.push_back(static_cast<char>(buf[i]));
                    if (buf[i] == 'v') toSend = reply_;
                    if (buf[i] == 'G' && starts_ < streams_.size()) toSend = streams_[starts_++];
                }
                peer_.send(toSend);
            }
        }
    }

    PtyPeer& peer_;
    std::vector<uint8_t> reply_;
    mutable std::mutex mutex_;
    std::string commands_;
    std::vector<std::vector<uint8_t>> streams_;
    size_t starts_ = 0;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace testing_support
