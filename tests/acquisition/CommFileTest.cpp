// CommFile on real pseudo-terminal lines: opening by port number, exclusivity, the five
// time-outs, hang-up and a stop from another thread. Timing bounds are generous on purpose.
#include "acquisition/CommFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <fstream>
#include <thread>

#include "acquisition/PtyPeer.h"

using acquisition::CommFile;
using testing_support::PrivateRuntimeDir;
using testing_support::PtyPeer;
using testing_support::secondsSince;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int32_t kPort = 200;

class CommFileOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        runtime.registerPort(kPort, peer.slavePath(), "test line");
    }
    void openPort(int32_t readTimeout = 1, int32_t writeTimeout = 0) {
        ASSERT_EQ(port.init(kPort, 115200, readTimeout, writeTimeout), 0) << port.lastMessage();
        ASSERT_EQ(port.isOpen(), 1);
    }

    PrivateRuntimeDir runtime;
    PtyPeer peer;
    CommFile port;
};

}  // namespace

TEST(CommFileClosed, EveryTransferFailsWithItsOwnMessage) {
    CommFile port;
    EXPECT_EQ(port.isOpen(), 0);
    EXPECT_EQ(port.lastMessage(), "");
    uint8_t byte = 'v';
    EXPECT_EQ(port.ComWriteBytes(&byte, 1), -1);
    EXPECT_EQ(port.lastMessage(), "CommFile::ComWriteBytes - port not initialised");
    EXPECT_EQ(port.ComGetByte(), -1);
    EXPECT_EQ(port.lastMessage(), "CommFile::ComGetByte - port not initialised");
    uint8_t buffer[8];
    EXPECT_EQ(port.ComGetBytes(buffer, 7), -1);
    EXPECT_EQ(port.lastMessage(), "CommFile::ComGetBytes - port not initialised");
    EXPECT_EQ(port.setTimeouts(0, 0, 10, 0, 0), 0);
    EXPECT_EQ(port.setupBuffers(2048, 512), 0);
    EXPECT_EQ(port.close(), 0);
}

TEST(CommFileClosed, PortWithoutDeviceFailsToOpen) {
    PrivateRuntimeDir runtime;
    CommFile port;
    for (int32_t number : {0, -3, 150, 201}) {
        EXPECT_EQ(port.init(number, 115200, 1, 0), 1) << number;
        EXPECT_EQ(port.lastMessage(), "CommFile::init - CreateFile failed");
        EXPECT_EQ(port.isOpen(), 0);
        EXPECT_FALSE(port.portInUse());
    }
    // A device of our own that is no terminal (a plain file where no node can be made).
    const std::string device = runtime.path() + "/null";
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        ASSERT_TRUE(std::ofstream(device).good());
    }
    // A registry entry whose owner has gone is not a port.
    runtime.registerPort(202, device, "stale", 999999999);
    EXPECT_EQ(port.init(202, 115200, 1, 0), 1);
    // A device that is no terminal is refused as well.
    runtime.registerPort(203, device, "not a tty");
    EXPECT_EQ(port.init(203, 115200, 1, 0), 1);
    EXPECT_EQ(port.lastMessage(), "CommFile::init - CreateFile failed");
}

TEST_F(CommFileOnPty, BytesGoBothWaysUnchanged) {
    openPort(0, 0);
    ASSERT_EQ(port.setTimeouts(0, 0, 500, 0, 100), 1);
    // Raw line: no CR/LF translation, no signals, no flow-control bytes eaten.
    const std::vector<uint8_t> out{'v', '\n', '\r', 0x00, 0x03, 0x11, 0x13, 0xFF};
    EXPECT_EQ(port.ComWriteBytes(out), static_cast<int32_t>(out.size()));
    EXPECT_EQ(peer.receive(200), out);

    peer.send({0xFF, 0x00, 0x11, 0x13, 0x0D, 0x03});
    EXPECT_EQ(port.ComGetByte(), 255);
    EXPECT_EQ(port.ComGetByte(), 0);
    EXPECT_EQ(port.ComGetByte(), 0x11);
    EXPECT_EQ(port.ComGetByte(), 0x13);
    EXPECT_EQ(port.ComGetByte(), 0x0D);
    EXPECT_EQ(port.ComGetByte(), 0x03);
    EXPECT_EQ(port.ComWriteBytes(nullptr, 0), 0);
    EXPECT_TRUE(peer.receive(50).empty());
}

TEST_F(CommFileOnPty, OpeningStartsWithAnEmptyLine) {
    openPort();
    port.close();
    peer.send({'V', 'x'});  // reaches the line while nobody has it open
    openPort();
    ASSERT_EQ(port.setTimeouts(0, 0, 50, 0, 0), 1);
    EXPECT_EQ(port.ComGetByte(), -2);
}

TEST_F(CommFileOnPty, OpenIsExclusiveAndReopenClosesFirst) {
    openPort();
    CommFile other;
    EXPECT_EQ(other.init(kPort, 115200, 1, 0), 1);
    EXPECT_EQ(other.lastMessage(), "CommFile::init - CreateFile failed");
    EXPECT_TRUE(other.portInUse());

    // init on an open port closes it first, so the same port opens again.
    openPort();
    // A failed re-init leaves the object closed and the device free.
    EXPECT_EQ(port.init(kPort + 50, 115200, 1, 0), 1);
    EXPECT_EQ(port.isOpen(), 0);
    EXPECT_EQ(other.init(kPort, 115200, 1, 0), 0) << other.lastMessage();
    other.close();
    EXPECT_EQ(other.isOpen(), 0);
    openPort();
}

TEST_F(CommFileOnPty, BaudRates) {
    for (int32_t baud : {1200, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 921600}) {
        EXPECT_EQ(port.init(kPort, baud, 1, 0), 0) << baud;
    }
    EXPECT_EQ(port.init(kPort, 12345, 1, 0), 1);
    EXPECT_EQ(port.lastMessage(), "CommFile::init - SetCommState failed");
    EXPECT_EQ(port.isOpen(), 0);
}

TEST_F(CommFileOnPty, ShortReadIsTerminated) {
    openPort();
    ASSERT_EQ(port.setTimeouts(0, 0, 100, 0, 0), 1);
    peer.send({'V', '1', '2'});
    uint8_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(port.ComGetBytes(buffer, 7), 3);
    EXPECT_EQ(buffer[0], 'V');
    EXPECT_EQ(buffer[2], '2');
    EXPECT_EQ(buffer[3], 0);
    EXPECT_EQ(buffer[4], 0xEE);
    // A full read of exactly the buffer's size leaves no room for the terminator and writes
    // nothing past the end.
    peer.send({1, 2, 3, 4});
    uint8_t exact[4] = {};
    EXPECT_EQ(port.ComGetBytes(exact, 4), 4);
    EXPECT_EQ(exact[3], 4);
}

TEST_F(CommFileOnPty, ReadConstantBoundsTheWait) {
    openPort();
    ASSERT_EQ(port.setTimeouts(0, 0, 200, 0, 0), 1);
    auto start = Clock::now();
    EXPECT_EQ(port.ComGetByte(), -2);
    const double waited = secondsSince(start);
    EXPECT_GE(waited, 0.18);
    EXPECT_LT(waited, 2.0);

    // Multiplier: 4 bytes x 50 ms.
    ASSERT_EQ(port.setTimeouts(0, 50, 0, 0, 0), 1);
    uint8_t buffer[5];
    start = Clock::now();
    peer.send({9});
    EXPECT_EQ(port.ComGetBytes(buffer, 4), 1);
    EXPECT_GE(secondsSince(start), 0.18);
    EXPECT_EQ(buffer[0], 9);
}

TEST_F(CommFileOnPty, ReturnAtOnceTakesWhatHasArrived) {
    openPort();
    ASSERT_EQ(port.setTimeouts(CommFile::kReturnAtOnce, 0, 0, 0, 0), 1);
    uint8_t buffer[11];
    auto start = Clock::now();
    EXPECT_EQ(port.ComGetBytes(buffer, 10), 0);
    EXPECT_EQ(port.ComGetByte(), -2);
    EXPECT_LT(secondsSince(start), 0.1);

    peer.send({1, 2, 3});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    start = Clock::now();
    EXPECT_EQ(port.ComGetBytes(buffer, 10), 3);
    EXPECT_LT(secondsSince(start), 0.1);
    EXPECT_EQ(buffer[2], 3);
}

TEST_F(CommFileOnPty, IntervalEndsAReadAfterAGapButWaitsForTheFirstByte) {
    openPort();
    ASSERT_EQ(port.setTimeouts(60, 0, 0, 0, 0), 1);
    std::thread far([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        peer.send({1, 2});
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        peer.send({3});
    });
    uint8_t buffer[11];
    const auto start = Clock::now();
    EXPECT_EQ(port.ComGetBytes(buffer, 10), 2);
    const double waited = secondsSince(start);
    EXPECT_GE(waited, 0.23);  // no time limit before the first byte
    EXPECT_LT(waited, 0.75);  // the gap after the second byte ended it
    far.join();
    EXPECT_EQ(port.ComGetByte(), 3);
}

TEST_F(CommFileOnPty, NoTimeoutsWaitUntilTheReadIsFull) {
    openPort();
    ASSERT_EQ(port.setTimeouts(0, 0, 0, 0, 0), 1);
    std::thread far([&] {
        peer.send({1, 2});
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        peer.send({3, 4, 5});
    });
    uint8_t buffer[5];
    EXPECT_EQ(port.ComGetBytes(buffer, 4), 4);
    far.join();
    EXPECT_EQ(buffer[3], 4);
    // The fifth byte stays for the next read.
    ASSERT_EQ(port.setTimeouts(0, 0, 100, 0, 0), 1);
    EXPECT_EQ(port.ComGetByte(), 5);
}

TEST_F(CommFileOnPty, PurgeDropsWhatHasArrived) {
    openPort();
    ASSERT_EQ(port.setTimeouts(0, 0, 50, 0, 0), 1);
    peer.send({1, 2, 3, 4});
    EXPECT_EQ(port.ComGetByte(), 1);  // the rest now waits inside the object
    port.purge();
    EXPECT_EQ(port.ComGetByte(), -2);
}

TEST_F(CommFileOnPty, HungUpLineReadsAsSilenceWithoutSpinning) {
    openPort();
    ASSERT_EQ(port.setTimeouts(0, 0, 20, 0, 10), 1);
    peer.send({42});
    EXPECT_EQ(port.ComGetByte(), 42);
    peer.hangUp();

    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    int silent = 0;
    for (int i = 0; i < 20; ++i) {
        const int32_t r = port.ComGetByte();
        if (r == -2) ++silent;
    }
    const double wall = secondsSince(start);
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    EXPECT_EQ(silent, 20);
    EXPECT_GE(wall, 0.3);  // each read sat out its 20 ms
    EXPECT_LT(cpu, wall / 2);

    // Writing to a line whose far end is gone fails instead of hanging.
    uint8_t g = 'g';
    EXPECT_EQ(port.ComWriteBytes(&g, 1), -1);
    EXPECT_EQ(port.lastMessage(), "CommFile::ComWriteBytes - WriteFile failed");
    EXPECT_EQ(port.isOpen(), 1);
    EXPECT_EQ(port.close(), 0);
}

TEST_F(CommFileOnPty, OnlyALastingHangUpLosesTheLine) {
    openPort();
    ASSERT_EQ(port.setTimeouts(0, 0, 20, 0, 10), 1);
    EXPECT_FALSE(port.lineLost());
    // Quiet for longer than the grace: silence, not a lost line.
    const auto quiet = Clock::now();
    while (secondsSince(quiet) * 1000 < CommFile::kLineLostAfterMs + 100) {
        EXPECT_EQ(port.ComGetByte(), -2);
    }
    EXPECT_FALSE(port.lineLost());

    peer.hangUp();
    const auto start = Clock::now();
    EXPECT_EQ(port.ComGetByte(), -2);
    EXPECT_FALSE(port.lineLost());  // one hang-up is not yet a lost line
    while (!port.lineLost() && secondsSince(start) < 3) EXPECT_EQ(port.ComGetByte(), -2);
    EXPECT_TRUE(port.lineLost());
    EXPECT_GE(secondsSince(start) * 1000, CommFile::kLineLostAfterMs - 1);
    EXPECT_LT(secondsSince(start) * 1000, CommFile::kLineLostAfterMs + 500);
    // A closed port has no line to lose; a new open starts sound.
    port.close();
    EXPECT_FALSE(port.lineLost());
}

TEST_F(CommFileOnPty, WriteTimeoutReturnsTheCountSoFar) {
    openPort();
    ASSERT_EQ(port.setTimeouts(0, 0, 10, 1, 1), 1);
    // Nobody reads the far end: the line fills and a byte no longer goes within 2 ms.
    std::vector<uint8_t> big(1 << 20, 0x55);
    const int32_t written = port.ComWriteBytes(big);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int32_t>(big.size()));
    EXPECT_EQ(static_cast<size_t>(written), peer.receive(100).size());
}

TEST_F(CommFileOnPty, StopEndsAWriteAtTheNextByte) {
    openPort();
    // Through the owner's message pump: a button pressed during byte 10 stops the write
    // after byte 11 has gone.
    int pumped = 0;
    ASSERT_EQ(port.init(
                  [&] {
                      if (++pumped == 10) port.requestStop();
                  },
                  kPort, 115200, 1, 0),
              0);
    ASSERT_EQ(port.setTimeouts(0, 0, 10, 0, 100), 1);
    std::vector<uint8_t> data(100, 'x');
    EXPECT_EQ(port.ComWriteBytes(data), -2);
    EXPECT_EQ(port.lastMessage(), "CommFile::ComWriteBytes - stopped by user");
    EXPECT_EQ(peer.receive(100).size(), 11u);

    // A stop requested before a write began does not touch it.
    openPort(1, 0);
    ASSERT_EQ(port.setTimeouts(0, 0, 10, 0, 100), 1);
    port.requestStop();
    EXPECT_EQ(port.ComWriteBytes(data), 100);
    EXPECT_EQ(peer.receive(100).size(), 100u);
}

TEST_F(CommFileOnPty, StopFromAnotherThreadEndsASlowWrite) {
    openPort();
    ASSERT_EQ(port.setTimeouts(0, 0, 10, 0, 0), 1);
    std::atomic<bool> done{false};
    std::atomic<size_t> drained{0};
    // The far end reads slowly, so the write takes far longer than the stop needs.
    std::thread reader([&] {
        while (!done) {
            drained += peer.receive(5, 64).size();
        }
        drained += peer.receive(50).size();
    });
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        port.requestStop();
    });
    std::vector<uint8_t> data(4 << 20, 'y');
    const auto start = Clock::now();
    const int32_t result = port.ComWriteBytes(data);
    const double took = secondsSince(start);
    stopper.join();
    done = true;
    reader.join();
    EXPECT_EQ(result, -2);
    EXPECT_LT(took, 5.0);
    EXPECT_GT(drained.load(), 0u);
    EXPECT_LT(drained.load(), data.size());
}
