// The serial test's worker on a real pseudo-terminal against a fake module: the module
// found by its reply, every overflow drained before the stream restarts, every byte kept in
// the capture file, a quiet line costing no processor time, and starts that cannot happen.
#include "acquisition/SerialTest.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "acquisition/FakeModule.h"
#include "acquisition/ModuleWireEncoder.h"
#include "platform/UiThread.h"

using acquisition::SerialTest;
using testing_support::FakeModule;
using testing_support::PrivateRuntimeDir;
using testing_support::PtyPeer;

namespace {

const std::vector<uint8_t> kReply{'V', '1', '.', '0', '0', '\r', '\n'};
constexpr int32_t kPort = 233;

template <typename Pred>
bool waitFor(Pred pred, int ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

// `n` short intervals (well under a second together, so that no clock falls behind).
std::vector<uint8_t> burst(int n, uint32_t seed) {
    std::vector<uint8_t> out;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        acquisition::wire::appendValue(out, 50 + (seed >> 8) % 200);
    }
    return out;
}

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class SerialTestOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        runtime.registerPort(kPort, peer.slavePath(), "fake module");
        folder = std::filesystem::path(runtime.path()) / "data";
        std::filesystem::create_directories(folder);
    }

    PrivateRuntimeDir runtime;
    PtyPeer peer;
    std::filesystem::path folder;
    SerialTest test;
};

TEST_F(SerialTestOnPty, EveryOverflowIsDrainedAndEveryByteKept) {
    FakeModule module(peer, kReply);
    std::vector<uint8_t> a = burst(300, 1), b = burst(200, 2), c = burst(250, 3);
    acquisition::wire::appendOverflow(a);
    acquisition::wire::appendOverflow(b);
    for (const auto* bytes : {&a, &b, &c}) module.streamAfterStart(*bytes);

    ASSERT_TRUE(test.OpenModule(kPort));
    bool ended = false;
    const std::filesystem::path capture = folder / SerialTest::kCaptureName;
    ASSERT_EQ(test.Start(capture.string(), [&] { ended = true; }),
              SerialTest::StartResult::Started);
    // The value before each escape is reported once the stream resumes; only the last value
    // of all waits for one that never comes.
    ASSERT_TRUE(waitFor([&] { return test.stats().transitions() == 300 + 200 + 250 - 1; }))
        << test.stats().transitions();
    EXPECT_EQ(test.stats().overflows(), 2);
    EXPECT_EQ(test.stats().badTransitions(), 0);
    EXPECT_EQ(test.texts().overflows, "2");

    // The module is silent: the worker waits in the port's poll instead of spinning.
    const double before = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LT(processCpuSeconds() - before, 0.05) << "the worker spins on a quiet line";

    test.RequestStop();
    ASSERT_TRUE(waitFor([&] {
        platform::runPostedTasks();
        return ended;
    }));
    EXPECT_FALSE(test.running());
    EXPECT_FALSE(test.port().isOpen());
    EXPECT_FALSE(test.captureFailed());
    // Each overflow: 'g', the drain, then 'G' again.
    EXPECT_EQ(module.commands(), "vGgGgGg");
    std::vector<uint8_t> sent = a;
    sent.insert(sent.end(), b.begin(), b.end());
    sent.insert(sent.end(), c.begin(), c.end());
    EXPECT_EQ(readBytes(capture), sent);
    // The figures of the run stay for reading.
    EXPECT_EQ(test.texts().transitions, "749");
}

TEST_F(SerialTestOnPty, NoModuleOrNoCaptureFileStartsNothing) {
    {
        FakeModule wrong(peer, {'X', '1', '.', '0', '0', '\r', '\n'});
        EXPECT_FALSE(test.OpenModule(kPort));
        EXPECT_FALSE(test.port().isOpen());
    }
    EXPECT_FALSE(test.OpenModule(kPort + 1));  // nothing registered there
    EXPECT_EQ(test.Start("", {}), SerialTest::StartResult::NotOpen);

    FakeModule module(peer, kReply);
    ASSERT_TRUE(test.OpenModule(kPort));
    // The capture's name is taken by a folder: the file cannot be made.
    std::filesystem::create_directories(folder / SerialTest::kCaptureName);
    EXPECT_EQ(test.Start((folder / SerialTest::kCaptureName).string(), {}),
              SerialTest::StartResult::CannotOpenFile);
    EXPECT_FALSE(test.running());
    EXPECT_FALSE(test.port().isOpen());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(module.commands(), "v") << "the module was started without a run";
}

}  // namespace
