// Recording control over a real pseudo-terminal: a fake module on the master side answers
// 'v', streams prepared bytes after each 'G' and notes every command it receives.
#include "acquisition/RecordingControl.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "acquisition/PtyPeer.h"
#include "app/AppSettings.h"
#include "platform/MessageSink.h"
#include "sequence/SequenceFormat.h"

using acquisition::CommFile;
using acquisition::DotPoint;
using acquisition::RecordingControl;
using testing_support::PrivateRuntimeDir;
using testing_support::PtyPeer;

namespace {

const std::vector<uint8_t> kReply{'V', '1', '.', '0', '0', '\r', '\n'};
const JulianTime kClock = JulianTime::fromDateTime(2024, 6, 1, 21, 0, 0, 0);
constexpr int32_t kPort = 231;

class FakeModule {
  public:
    // `deafTo` queries go unanswered first, as by a module that has just been plugged in.
    FakeModule(PtyPeer& peer, std::vector<uint8_t> reply, int deafTo = 0)
        : peer_(peer), reply_(std::move(reply)), deafTo_(deafTo) {
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
                    if (buf[i] == 'v' && deafTo_-- <= 0) toSend = reply_;
                    if (buf[i] == 'G' && starts_ < streams_.size()) toSend = streams_[starts_++];
                }
                peer_.send(toSend);
            }
        }
    }

    PtyPeer& peer_;
    std::vector<uint8_t> reply_;
    int deafTo_ = 0;
    mutable std::mutex mutex_;
    std::string commands_;
    std::vector<std::vector<uint8_t>> streams_;
    size_t starts_ = 0;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

template <typename Pred>
bool waitFor(Pred pred, int ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

// The module's wire format: 7-bit groups, least significant first, bit 7 marking the first.
void appendValue(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(0x80 | (value & 0x7F)));
    for (value >>= 7; value != 0; value >>= 7) out.push_back(static_cast<uint8_t>(value & 0x7F));
}
void appendOverflow(std::vector<uint8_t>& out) {
    out.insert(out.end(), {0x80, 0x80, 0x80});
}

std::vector<uint8_t> encode(const std::vector<int32_t>& intervals) {
    std::vector<uint8_t> out;
    for (int32_t v : intervals) appendValue(out, static_cast<uint32_t>(v));
    return out;
}

std::vector<int32_t> someIntervals(size_t n, uint32_t seed) {
    std::vector<int32_t> v;
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        v.push_back(static_cast<int32_t>(60 + (seed >> 8) % 3000));
    }
    return v;
}

class Recording : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        runtime.registerPort(kPort, peer.slavePath(), "DETLINK test module");
        folder = std::filesystem::path(runtime.path()) / "Batfiles";
        settings.GPath = folder.string() + "/";
        settings.SerialPort = kPort;
        settings.TimeKeeping = 0;
        platform::setMessageHandler([this](const std::string& text, platform::MessageIcon) {
            std::lock_guard lock(messagesMutex);
            messages.push_back(text);
        });
        RecordingControl::Hooks hooks;
        hooks.clock = [] { return kClock; };
        hooks.searchPorts = [this](acquisition::CommFile&) {
            ++searches;
            return 0;
        };
        control.setHooks(hooks);
    }
    void TearDown() override {
        control.StopRecording();
        platform::setMessageHandler({});
    }

    std::vector<int32_t> readFile(const std::string& name, SequenceFileHeader* header = nullptr) {
        std::ifstream in(folder / name, std::ios::binary);
        std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
        DotStore store;
        if (decodeSequenceImage(image, store) == 0) return {};
        if (header) readSequenceHeader(image, *header);
        std::vector<int32_t> out;
        for (int32_t i = 1; i < store.count; ++i)
            out.push_back(store.times[i] - store.times[i - 1]);
        return out;
    }

    // The files written, once there is one (none after a time-out).
    std::vector<std::string> waitForSavedNames() {
        std::vector<std::string> names;
        waitFor([&] {
            for (auto& n : control.takeSavedNames()) names.push_back(n);
            return !names.empty();
        });
        return names;
    }

    PrivateRuntimeDir runtime;
    PtyPeer peer;
    std::filesystem::path folder;
    AppSettings settings;
    RecordingControl control{settings};
    int searches = 0;
    std::mutex messagesMutex;
    std::vector<std::string> messages;
};

TEST_F(Recording, RecordModeSavesEveryIntervalOnRequestAndStopsWithG) {
    FakeModule module(peer, kReply);
    const auto intervals = someIntervals(3000, 7);
    auto bytes = encode(intervals);
    appendValue(bytes, 1234);  // the value that reports the last one
    module.streamAfterStart(bytes);

    ASSERT_EQ(control.StartRecording(), RecordingControl::StartResult::Started);
    EXPECT_TRUE(control.recording());
    EXPECT_EQ(settings.SerialPortLastSuccessful, kPort);
    std::vector<DotPoint> shown;
    ASSERT_TRUE(waitFor([&] {
        control.drainDisplay([&](const DotPoint& p) { shown.push_back(p); });
        return shown.size() >= intervals.size();
    }));
    ASSERT_EQ(shown.size(), intervals.size());
    for (size_t i = 0; i < intervals.size(); ++i) ASSERT_EQ(shown[i].value, intervals[i]);

    control.SaveRecording();
    const std::vector<std::string> names = waitForSavedNames();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(control.sequenceSaved().load(), 1);
    EXPECT_EQ(control.lastSavedName(), names.back());
    control.StopRecording();
    EXPECT_FALSE(control.recording());
    EXPECT_EQ(control.liveDisplay().load(), 0);

    ASSERT_EQ(names.size(), 1u);
    SequenceFileHeader header;
    EXPECT_EQ(readFile(names[0], &header), intervals);
    // Detector clock: the file starts at the clock reading taken when the stream began.
    EXPECT_EQ(header.start, SequenceStartTime::fromJulian(kClock));
    ASSERT_TRUE(waitFor([&] { return module.commands() == "vGg"; }));
}

TEST_F(Recording, DeviceClockStampsTheFirstIntervalOfABurst) {
    FakeModule module(peer, kReply);
    const auto intervals = someIntervals(400, 21);
    auto bytes = encode(intervals);
    appendValue(bytes, 1234);
    module.streamAfterStart(bytes);
    settings.TimeKeeping = 1;
    // The device clock stands five seconds after the time the stream began.
    std::atomic<int> readings{0};
    RecordingControl::Hooks hooks;
    hooks.clock = [&] { return readings++ == 0 ? kClock : kClock + int64_t{5000000}; };
    control.setHooks(hooks);
    ASSERT_EQ(control.StartRecording(), RecordingControl::StartResult::Started);
    ASSERT_TRUE(waitFor([&] { return control.dotQueue().count() >= 400; }));
    control.SaveRecording();
    const std::vector<std::string> names = waitForSavedNames();
    ASSERT_FALSE(names.empty());
    control.StopRecording();
    SequenceFileHeader header;
    EXPECT_EQ(readFile(names[0], &header), intervals);
    // The first interval ends at the device clock's reading.
    EXPECT_EQ(header.start,
              SequenceStartTime::fromJulian(kClock + int64_t{5000000} - int64_t{intervals[0]}));
}

TEST_F(Recording, EachBurstIsStampedAtItsOwnFirstByte) {
    FakeModule module(peer, kReply);
    const auto burst1 = someIntervals(300, 31);
    module.streamAfterStart(encode(burst1));
    settings.TimeKeeping = 1;
    // A device clock to the microsecond, on the same time base as the test's own clock.
    const auto t0 = std::chrono::steady_clock::now();
    auto deviceTime = [t0](std::chrono::steady_clock::time_point t) {
        return kClock + static_cast<int64_t>(
                            std::chrono::duration_cast<std::chrono::microseconds>(t - t0).count());
    };
    RecordingControl::Hooks hooks;
    hooks.clock = [&] { return deviceTime(std::chrono::steady_clock::now()); };
    control.setHooks(hooks);
    ASSERT_EQ(control.StartRecording(), RecordingControl::StartResult::Started);
    // The first burst's last value waits for the next value to begin.
    ASSERT_TRUE(waitFor([&] { return control.dotQueue().count() >= 299; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));

    // The second burst after a pause: its first interval spans the pause, ending about when
    // its first byte is sent. It completes the first burst's last value as it arrives.
    const auto burst2 = someIntervals(200, 32);
    std::vector<uint8_t> bytes;
    appendValue(bytes, 60000);
    const std::vector<uint8_t> rest = encode(burst2);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    appendValue(bytes, 1234);
    const auto sent = std::chrono::steady_clock::now();
    peer.send(bytes);
    ASSERT_TRUE(waitFor([&] { return control.dotQueue().count() >= 500; }));
    control.SaveRecording();
    std::vector<std::string> names;
    ASSERT_TRUE(waitFor([&] {
        for (auto& n : control.takeSavedNames()) names.push_back(n);
        return !names.empty();
    }));
    control.StopRecording();

    SequenceFileHeader header;
    std::vector<int32_t> expected = burst1;
    expected.push_back(60000);
    expected.insert(expected.end(), burst2.begin(), burst2.end());
    ASSERT_EQ(readFile(names[0], &header), expected);
    // The file's start comes from the newest stamp: it puts the end of the 60 ms interval at
    // the arrival of the second burst, and the first burst before it.
    int64_t throughFirst = 60000;
    for (int32_t v : burst1) throughFirst += v;
    const JulianTime start = JulianTime::fromDateTime(
        header.start.year, header.start.month, header.start.day, header.start.hour,
        header.start.minute, header.start.second, header.start.microsecond());
    const int64_t late = (start + throughFirst).value() - deviceTime(sent).value();
    EXPECT_GE(late, 0);
    EXPECT_LT(late, 5000) << "the stamp of the second burst is " << late << " µs late";
}

TEST_F(Recording, NoKnownPortGoesStraightToTheSearch) {
    FakeModule module(peer, kReply);
    settings.SerialPort = 0;
    EXPECT_EQ(control.StartRecording(), RecordingControl::StartResult::NoModule);
    EXPECT_EQ(searches, 1);
    EXPECT_FALSE(control.recording());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(module.commands(), "");  // no 'v' anywhere
}

TEST_F(Recording, ShortVersionReplyIsNotAModule) {
    FakeModule module(peer, {'V', '1', '.'});
    EXPECT_EQ(control.StartRecording(), RecordingControl::StartResult::NoModule);
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(settings.SerialPort, 0);
    EXPECT_EQ(module.commands(), "vv");  // asked once more before it is refused
}

TEST_F(Recording, AModuleThatMissesTheFirstQueryIsAskedAgain) {
    FakeModule module(peer, kReply, 1);
    EXPECT_EQ(control.StartRecording(), RecordingControl::StartResult::Started);
    EXPECT_EQ(searches, 0);
    ASSERT_TRUE(waitFor([&] { return module.commands() == "vvG"; })) << module.commands();
}

TEST_F(Recording, SearchFindsThePortWhenTheRememberedOneIsSilent) {
    FakeModule module(peer, kReply);
    settings.SerialPort = 0;
    control.setHooks({.searchPorts =
                          [](acquisition::CommFile& port) {
                              return port.init(kPort, 115200, 1, 0) == 0 ? kPort : 0;
                          },
                      .prepareLiveDisplay = {},
                      .startDisplayTimer = {},
                      .clock = [] { return kClock; }});
    EXPECT_EQ(control.StartRecording(), RecordingControl::StartResult::Started);
    EXPECT_EQ(settings.SerialPort, kPort);
    EXPECT_EQ(settings.SerialPortLastSuccessful, kPort);
}

TEST_F(Recording, ViewThatCannotShowTheRecordingRefusesTheStart) {
    FakeModule module(peer, kReply);
    auto hooks = RecordingControl::Hooks{};
    hooks.prepareLiveDisplay = [] { return -1; };
    control.setHooks(hooks);
    EXPECT_EQ(control.StartRecording(), RecordingControl::StartResult::ViewRefused);
    EXPECT_FALSE(control.recording());
    EXPECT_TRUE(control.modulePort().isOpen());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Record Window too wide");
}

TEST_F(Recording, SwitchingModeRestartsWithANewModuleCheck) {
    FakeModule module(peer, kReply);
    ASSERT_EQ(control.Monitor(), RecordingControl::StartResult::Started);
    EXPECT_EQ(control.Monitor(), RecordingControl::StartResult::AlreadyRecording);
    // A module reads its start before the switch, as a real one does at once; on a busy
    // machine the fake one may not have, and the line's reopening would drop the 'G'.
    ASSERT_TRUE(waitFor([&] { return module.commands() == "vG"; })) << module.commands();
    EXPECT_EQ(control.Record(), RecordingControl::StartResult::Started);
    EXPECT_FALSE(control.monitorMode());
    EXPECT_EQ(control.Record(), RecordingControl::StartResult::AlreadyRecording);
    // The module is checked again before the new start. (The 'g' between may be lost on a
    // pseudo-terminal, which drops what is unread when the line is closed at once.)
    ASSERT_TRUE(waitFor([&] {
        const std::string c = module.commands();
        return c == "vGgvG" || c == "vGvG";
    })) << module.commands();
}

TEST_F(Recording, FailedSavesAreReportedOnceAndTheRecordingGoesOn) {
    FakeModule module(peer, kReply);
    // The sequence folder cannot be made: a file stands where its parent should be.
    std::filesystem::create_directories(runtime.path());
    const auto blocker = std::filesystem::path(runtime.path()) / "blocker";
    std::ofstream(blocker) << "x";
    settings.GPath = blocker.string() + "/Batfiles/";
    const auto intervals = someIntervals(500, 3);
    auto bytes = encode(intervals);
    appendValue(bytes, 99);
    module.streamAfterStart(bytes);
    ASSERT_EQ(control.StartRecording(), RecordingControl::StartResult::Started);
    ASSERT_TRUE(waitFor([&] { return control.dotQueue().count() >= 500; }));
    control.SaveRecording();
    ASSERT_TRUE(waitFor([&] { return control.saveFailing(); }));
    control.SaveRecording();
    ASSERT_TRUE(waitFor([&] { return control.accumulator().unsavedCount() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // a retry or two
    EXPECT_TRUE(control.recording());
    EXPECT_EQ(control.moduleError().load(), 0);
    EXPECT_EQ(control.liveDisplay().load(), 1);
    EXPECT_EQ(module.commands(), "vG");
    {
        std::lock_guard lock(messagesMutex);
        EXPECT_EQ(messages, std::vector<std::string>{"Couldn't open output file"});
    }

    // The card is back: the waiting sequence is written without another save.
    std::filesystem::remove(blocker);
    folder = blocker / "Batfiles";
    std::filesystem::create_directories(folder);
    const std::vector<std::string> names = waitForSavedNames();
    ASSERT_FALSE(names.empty());
    EXPECT_FALSE(control.saveFailing());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(readFile(names[0]), intervals);
    control.StopRecording();
    std::lock_guard lock(messagesMutex);
    EXPECT_EQ(messages.size(), 1u);
}

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(Recording, QuietLineIsSilenceButAnUnpluggedModuleEndsTheRecording) {
    {
        FakeModule module(peer, kReply);
        auto bytes = encode(someIntervals(100, 5));
        module.streamAfterStart(bytes);
        ASSERT_EQ(control.StartRecording(), RecordingControl::StartResult::Started);
        ASSERT_TRUE(waitFor([&] { return control.dotQueue().count() >= 99; }));
    }
    // A module that sends nothing for longer than any grace is still there.
    std::this_thread::sleep_for(std::chrono::milliseconds(RecordingControl::kIdleWaitMs * 2 +
                                                          CommFile::kLineLostAfterMs * 2));
    EXPECT_TRUE(control.recording());
    EXPECT_EQ(control.moduleError().load(), 0);

    peer.hangUp();
    const double before = processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitFor([&] { return !control.recording(); }, 2000))
        << "the hung-up line was taken for silence";
    EXPECT_LT(testing_support::secondsSince(start), 2.0);
    EXPECT_LT(processCpuSeconds() - before, 0.2) << "the worker spins on a hung-up port";
    EXPECT_EQ(control.moduleError().load(), 1);
    EXPECT_EQ(control.liveDisplay().load(), 0);
    EXPECT_EQ(control.lostPort(), kPort);
    EXPECT_FALSE(control.modulePort().isOpen());
    control.StopRecording();
    EXPECT_FALSE(control.recording());
}

TEST_F(Recording, OverflowIsDrainedRestampedAndRestarted) {
    FakeModule module(peer, kReply);
    const auto first = someIntervals(200, 11);
    auto bytes = encode(first);
    appendOverflow(bytes);
    module.streamAfterStart(bytes);
    const auto second = someIntervals(50, 12);
    auto more = encode(second);
    appendValue(more, 77);
    module.streamAfterStart(more);

    // The device clock reads kClock when the stream begins and a minute later afterwards.
    std::atomic<int> readings{0};
    RecordingControl::Hooks hooks;
    hooks.clock = [&] { return readings++ == 0 ? kClock : kClock + int64_t{60000000}; };
    control.setHooks(hooks);
    ASSERT_EQ(control.StartRecording(), RecordingControl::StartResult::Started);
    // The value in progress at the overflow is lost with it.
    ASSERT_TRUE(waitFor([&] { return control.dotQueue().count() >= 199; }));
    // After the drain the module is started again and the second burst arrives.
    ASSERT_TRUE(waitFor([&] { return module.commands() == "vGG"; }));
    ASSERT_TRUE(waitFor([&] { return control.dotQueue().count() >= 249; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(control.dotQueue().count(), 249);
    EXPECT_TRUE(control.dotQueue().overflowSeen());
    control.StopRecording();
    // Detector clock: reset to the device clock after the drain, then the second burst.
    int64_t sum = 0;
    for (int32_t v : second) sum += v;
    EXPECT_EQ(control.detectorClock(), kClock + int64_t{60000000} + sum);
}

// Calls as the recorder's detector takes them (K = 1, L = 5): three runs of falling
// intervals.
std::vector<int32_t> threeCalls() {
    std::vector<int32_t> calls;
    for (int c = 0; c < 3; ++c) {
        calls.push_back(5000);
        for (int i = 0; i < 20; ++i) calls.push_back(300 - i);
    }
    return calls;
}

TEST_F(Recording, StopInMonitorModeSavesThePassInProgress) {
    FakeModule module(peer, kReply);
    const auto calls = threeCalls();
    auto bytes = encode(calls);
    appendValue(bytes, 99);
    module.streamAfterStart(bytes);
    ASSERT_EQ(control.Monitor(), RecordingControl::StartResult::Started);
    ASSERT_TRUE(waitFor([&] { return control.dotQueue().count() >= 63; }));
    EXPECT_TRUE(control.takeSavedNames().empty());
    control.StopRecording();
    const auto names = control.takeSavedNames();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(readFile(names[0]), calls);
    EXPECT_EQ(control.idleSaved().load(), 1);
}

TEST_F(Recording, MonitorModeSavesCallsAfterTheGapAndCountsIdleSeconds) {
    FakeModule module(peer, kReply);
    const auto calls = threeCalls();
    auto bytes = encode(calls);
    appendValue(bytes, 99);  // reports the last call interval
    module.streamAfterStart(bytes);
    settings.autoMaxTBC = 2000000;
    ASSERT_EQ(control.Monitor(), RecordingControl::StartResult::Started);
    ASSERT_TRUE(waitFor([&] { return control.dotQueue().count() >= 63; }));
    // The view's one-second ticks while nothing arrives: the third one saves.
    for (int i = 0; i < 3; ++i) {
        control.secondTick();
        ASSERT_TRUE(waitFor([&] { return control.idleSeconds().load() == 0; }));
    }
    ASSERT_TRUE(waitFor([&] { return control.idleSaved().load() == 1; }));
    const auto names = control.takeSavedNames();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(readFile(names[0]), calls);
}

}  // namespace
