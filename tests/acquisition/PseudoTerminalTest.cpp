#include "platform/PseudoTerminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

namespace {

using platform::PseudoTerminal;
using Clock = std::chrono::steady_clock;

int openSlave(const PseudoTerminal& pty) {
    return ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

// Reads from the slave until `count` bytes came or a second passed.
std::vector<uint8_t> readSlave(int fd, size_t count) {
    std::vector<uint8_t> got;
    auto deadline = Clock::now() + std::chrono::seconds(1);
    while (got.size() < count && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        uint8_t buffer[4096];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

TEST(PseudoTerminalTest, EveryByteValuePassesUnchangedBothWays) {
    PseudoTerminal pty;
    std::string error;
    ASSERT_TRUE(pty.open(&error)) << error;
    ASSERT_EQ(pty.slavePath().rfind("/dev/pts/", 0), 0u) << pty.slavePath();
    int slave = openSlave(pty);
    ASSERT_GE(slave, 0);

    std::vector<uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    ASSERT_EQ(pty.write(all, 100), 256);
    EXPECT_EQ(readSlave(slave, 256), all);  // no CR/LF translation, no control characters eaten

    ASSERT_EQ(::write(slave, all.data(), all.size()), 256);
    std::vector<uint8_t> back;
    uint8_t buffer[512];
    for (int i = 0; i < 20 && back.size() < 256; ++i) {
        int32_t n = pty.read(buffer, 50);
        ASSERT_GE(n, 0);
        back.insert(back.end(), buffer, buffer + n);
    }
    EXPECT_EQ(back, all);
    // Nothing is echoed back to the host.
    EXPECT_TRUE(readSlave(slave, 1).empty());
    ::close(slave);
}

TEST(PseudoTerminalTest, ReadWaitsForItsTimeOutWhenNothingComes) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    int slave = openSlave(pty);
    ASSERT_GE(slave, 0);
    uint8_t buffer[16];
    auto start = Clock::now();
    EXPECT_EQ(pty.read(buffer, 30), 0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(25));
    ::close(slave);
}

TEST(PseudoTerminalTest, AHostThatClosesIsSeenAndAReopenWorks) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    EXPECT_FALSE(pty.hungUp());  // not yet opened: just waiting for the host
    int slave = openSlave(pty);
    ASSERT_GE(slave, 0);
    EXPECT_FALSE(pty.hungUp());
    ::close(slave);
    EXPECT_TRUE(pty.hungUp());

    // A hung-up read sleeps its time out instead of returning at once, so loops do not spin.
    uint8_t buffer[16];
    auto start = Clock::now();
    int calls = 0;
    while (Clock::now() - start < std::chrono::milliseconds(50)) {
        EXPECT_EQ(pty.read(buffer, 10), PseudoTerminal::kHungUp);
        ++calls;
    }
    EXPECT_LE(calls, 6);
    const uint8_t v = 'v';
    EXPECT_EQ(pty.write({&v, 1}, 0), PseudoTerminal::kHungUp);
    start = Clock::now();
    EXPECT_EQ(pty.write({&v, 1}, 20), PseudoTerminal::kHungUp);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(15));

    slave = openSlave(pty);
    ASSERT_GE(slave, 0);
    EXPECT_FALSE(pty.hungUp());
    ASSERT_EQ(::write(slave, "G", 1), 1);
    EXPECT_EQ(pty.read(buffer, 200), 1);
    EXPECT_EQ(buffer[0], 'G');
    ::close(slave);
}

TEST(PseudoTerminalTest, AWaitingReadSeesTheHostComeBackAtOnce) {
    // A port search closes the port and opens it again straight away; the module's answer to
    // the 'v' that follows must not wait for a long hung-up read to end.
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    int slave = openSlave(pty);
    ASSERT_GE(slave, 0);
    ::close(slave);
    ASSERT_TRUE(pty.hungUp());
    std::thread host([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        slave = openSlave(pty);
    });
    uint8_t buffer[16];
    const auto start = Clock::now();
    const int32_t result = pty.read(buffer, 1000);
    const auto waited = Clock::now() - start;
    host.join();
    ASSERT_GE(slave, 0);
    EXPECT_EQ(result, 0);
    EXPECT_LT(waited, std::chrono::milliseconds(500));
    ::close(slave);
}

TEST(PseudoTerminalTest, AFullPtyTakesNothingMoreUntilTheHostReads) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    int slave = openSlave(pty);
    ASSERT_GE(slave, 0);
    std::vector<uint8_t> chunk(1000, 0x81);
    size_t total = 0;
    // The kernel moves data between two buffers behind the scenes, so "full" is only sure
    // once a write has waited a while in vain.
    for (int i = 0; i < 200; ++i) {
        int32_t n = pty.write(chunk, 20);
        ASSERT_GE(n, 0);
        if (n == 0) break;
        total += static_cast<size_t>(n);
    }
    // About 20 KiB fit; the exact size is the kernel's.
    EXPECT_GT(total, 4000u);
    EXPECT_LT(total, 200000u);
    auto start = Clock::now();
    EXPECT_EQ(pty.write(chunk, 20), 0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(15));
    EXPECT_EQ(pty.write(chunk, 0), 0);

    EXPECT_EQ(readSlave(slave, total).size(), total);
    EXPECT_GT(pty.write(chunk, 0), 0);
    ::close(slave);
}

}  // namespace
