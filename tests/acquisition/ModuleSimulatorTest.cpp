// The module model on a clock of the test's own: commands, pacing at the line rate, what a
// decoder makes of the bytes compared with what the module reports it sent, overflows when the
// host stops reading, injected events, silence, and the log lines.
#include "acquisition/ModuleSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "acquisition/StreamDecoder.h"

namespace {

using acquisition::ModuleEvent;
using acquisition::ModuleEventKind;
using acquisition::ModuleSimulator;
using acquisition::ModuleSimulatorOptions;
using acquisition::NightMix;
using acquisition::StreamDecoder;
using State = ModuleSimulator::State;

// The host side: reads the line in 2 ms steps as a pseudo-terminal would pass it on, unless
// told to stop reading (its buffer then takes at most `hostRoom` more bytes).
class Host {
  public:
    explicit Host(const ModuleSimulatorOptions& options)
        : module(options, [this](const ModuleEvent& e) { events.push_back(e); }) {}

    void run(int64_t microseconds, int64_t stepUs = 2000) {
        for (int64_t end = now + microseconds; now < end;) {
            now += stepUs;
            module.advance(now);
            std::span<const uint8_t> bytes = module.lineBytes(now);
            size_t take = bytes.size();
            if (!reading) take = std::min(take, hostRoom - std::min(hostRoom, held));
            received.insert(received.end(), bytes.begin(), bytes.begin() + static_cast<long>(take));
            if (!reading) held += take;
            module.consumed(take, now);
            largestChunk = std::max(largestChunk, take);
        }
    }
    void send(uint8_t command) { module.receive(command, now); }

    std::vector<int64_t> loggedIntervals() const {
        std::vector<int64_t> out;
        for (const ModuleEvent& e : events) {
            if (e.kind == ModuleEventKind::Interval) out.push_back(e.value);
        }
        return out;
    }
    size_t count(ModuleEventKind kind) const {
        return static_cast<size_t>(std::count_if(
            events.begin(), events.end(), [&](const ModuleEvent& e) { return e.kind == kind; }));
    }

    ModuleSimulator module;
    std::vector<ModuleEvent> events;
    std::vector<uint8_t> received;
    int64_t now = 1000000;
    bool reading = true;
    size_t hostRoom = 20000;
    size_t held = 0;
    size_t largestChunk = 0;
};

// What the recorder's decoder makes of a stream, as results in order.
std::vector<int32_t> decodeAll(const std::vector<uint8_t>& bytes, size_t from = 0) {
    StreamDecoder decoder;
    decoder.reset();
    std::vector<int32_t> out;
    for (size_t i = from; i < bytes.size(); ++i) out.push_back(decoder.feed(bytes[i]));
    return out;
}

std::vector<int64_t> intervalsOf(const std::vector<int32_t>& results) {
    std::vector<int64_t> out;
    for (int32_t r : results) {
        if (r > 0) out.push_back(r);
    }
    return out;
}

ModuleSimulatorOptions noiseOnly(int32_t load) {
    ModuleSimulatorOptions o;
    o.night.mix = NightMix::Noise;
    o.night.noiseLoadPercent = load;
    return o;
}

TEST(ModuleSimulatorTest, AnswersVAndStreamsOnlyBetweenBigGAndSmallG) {
    Host host(noiseOnly(50));
    host.run(100000);
    EXPECT_TRUE(host.received.empty());  // nothing before 'G'
    host.send('v');
    host.run(2000);
    ASSERT_EQ(host.received.size(), 7u);
    EXPECT_EQ(host.received[0], 'V');
    EXPECT_EQ(host.count(ModuleEventKind::VersionReply), 1u);
    host.send('x');  // unknown commands are ignored
    host.run(10000);
    EXPECT_EQ(host.received.size(), 7u);

    host.send('G');
    EXPECT_EQ(host.module.state(), State::Streaming);
    host.run(500000);
    const size_t streamed = host.received.size();
    EXPECT_GT(streamed, 2000u);
    host.send('g');
    EXPECT_EQ(host.module.state(), State::Idle);
    host.run(500000);
    // At most the rest of a value already begun on the line follows the 'g'.
    EXPECT_LE(host.received.size(), streamed + 4);
    EXPECT_FALSE(host.module.busy());
    EXPECT_EQ(host.events.back().kind, ModuleEventKind::StreamStopped);
}

TEST(ModuleSimulatorTest, TheLineCarriesNoMoreThanItsBaudRateInSmallChunks) {
    Host host(noiseOnly(95));
    host.send('G');
    const int64_t start = host.now;
    host.run(10000000);
    const double seconds = static_cast<double>(host.now - start) / 1e6;
    const double rate = static_cast<double>(host.received.size()) / seconds;
    EXPECT_LE(rate, 11520.0 + 1);
    EXPECT_GE(rate, 0.93 * 11520);
    EXPECT_LE(host.largestChunk, 25u);  // 2 ms of line, not bursts
    EXPECT_EQ(host.count(ModuleEventKind::Overflow), 0u);

    // A host that looks only every 50 ms gets the same bytes, but never more than the line
    // carried meanwhile.
    Host slow(noiseOnly(95));
    slow.send('G');
    slow.run(3000000, 50000);
    EXPECT_LE(slow.largestChunk, 577u);
    EXPECT_GE(slow.received.size(), static_cast<size_t>(0.9 * 11520 * 3));
}

TEST(ModuleSimulatorTest, TheDecoderGetsEveryLoggedIntervalAndTheClockAddsUp) {
    ModuleSimulatorOptions o;
    o.night.seed = 21;
    o.night.noiseLoadPercent = 85;  // a busy line
    o.markerEveryUs = 700000;
    o.messageEveryUs = 1100000;
    o.messageText = "bat";
    Host host(o);
    host.send('G');
    const int64_t started = host.now;
    host.run(20000000);
    host.send('g');
    host.run(20000);

    const std::vector<int32_t> results = decodeAll(host.received);
    const std::vector<int64_t> logged = host.loggedIntervals();
    std::vector<int64_t> decoded = intervalsOf(results);
    // The last interval sent is never completed by a following value.
    ASSERT_EQ(decoded.size() + 1, logged.size());
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), logged.begin()));
    EXPECT_GT(logged.size(), 10000u);

    // Interval times: each is the one before plus the interval, from the 'G' on.
    int64_t clock = started;
    for (const ModuleEvent& e : host.events) {
        if (e.kind != ModuleEventKind::Interval) continue;
        clock += e.value;
        ASSERT_EQ(e.timeUs, clock);
    }
    EXPECT_LE(clock, host.now);

    // Markers and messages arrive where they were sent.
    const size_t markers =
        static_cast<size_t>(std::count(results.begin(), results.end(), StreamDecoder::kMarker));
    EXPECT_EQ(markers, host.count(ModuleEventKind::Marker));
    EXPECT_EQ(markers, 28u);  // every 0.7 s for 20 s
    std::string text;
    size_t messages = 0;
    for (int32_t r : results) {
        if (StreamDecoder::isMessageByte(r)) text += static_cast<char>(r - INT32_MIN);
        if (r == StreamDecoder::kMessageEnd) {
            EXPECT_EQ(text, "bat");
            text.clear();
            ++messages;
        }
    }
    EXPECT_EQ(messages, 18u);
    EXPECT_EQ(messages, host.count(ModuleEventKind::Message));
}

TEST(ModuleSimulatorTest, AHostThatStopsReadingGetsAnOverflowOnceItReadsAgain) {
    ModuleSimulatorOptions o = noiseOnly(90);
    Host host(o);
    host.send('G');
    host.run(1000000);
    host.reading = false;
    host.held = 0;
    host.run(4000000);  // the host's 20 000 bytes fill, then the module's 4096
    EXPECT_NE(host.module.state(), State::Streaming);
    EXPECT_EQ(host.count(ModuleEventKind::Overflow), 0u);  // the escape still waits
    const size_t before = host.received.size();
    host.reading = true;
    host.run(1000000);
    ASSERT_EQ(host.count(ModuleEventKind::Overflow), 1u);
    // The module's buffer, then the escape, then nothing until 'G'.
    EXPECT_LE(host.received.size() - before, 4096u + 3);
    std::vector<int32_t> results = decodeAll(host.received);
    ASSERT_EQ(results.back(), StreamDecoder::kOverflow);
    EXPECT_EQ(std::count(results.begin(), results.end(), StreamDecoder::kOverflow), 1);
    std::vector<int64_t> logged = host.loggedIntervals();
    std::vector<int64_t> decoded = intervalsOf(results);
    ASSERT_EQ(decoded.size() + 1, logged.size());
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), logged.begin()));
    auto overflow = std::find_if(host.events.begin(), host.events.end(),
                                 [](auto& e) { return e.kind == ModuleEventKind::Overflow; });
    EXPECT_GE(overflow->value, 1);                             // data was lost
    EXPECT_GT(overflow->timeUs, std::prev(overflow)->timeUs);  // after the last interval sent
    EXPECT_EQ(std::prev(overflow)->kind, ModuleEventKind::Interval);

    // The recorder drains, resets its decoder and sends 'G': streaming starts anew, its first
    // interval counted from the 'G'.
    const size_t afterOverflow = host.received.size();
    const int64_t restart = host.now;
    host.send('G');
    host.run(1000000);
    EXPECT_GT(host.received.size(), afterOverflow + 5000);
    const ModuleEvent* first = nullptr;
    for (const ModuleEvent& e : host.events) {
        if (e.kind == ModuleEventKind::Interval && e.timeUs > restart) {
            first = &e;
            break;
        }
    }
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->timeUs - first->value, restart);
}

TEST(ModuleSimulatorTest, OverflowsPutInOnPurposeHaltUntilG) {
    ModuleSimulatorOptions o = noiseOnly(60);
    o.overflowEveryUs = 1000000;
    Host host(o);
    host.send('G');
    host.run(3000000);
    // One overflow after 1 s of streaming; the module then waits for 'G'.
    EXPECT_EQ(host.count(ModuleEventKind::Overflow), 1u);
    EXPECT_EQ(host.module.state(), State::Halted);
    EXPECT_EQ(host.module.sceneTimeUs(host.now), 1000000);
    for (int i = 0; i < 3; ++i) {
        host.send('G');
        host.run(1500000);
    }
    EXPECT_EQ(host.count(ModuleEventKind::Overflow), 4u);
    std::vector<int32_t> results = decodeAll(host.received);
    EXPECT_EQ(std::count(results.begin(), results.end(), StreamDecoder::kOverflow), 4);
}

TEST(ModuleSimulatorTest, SilentAfterSendsNothingMoreButStillAnswersV) {
    ModuleSimulatorOptions o = noiseOnly(80);
    o.silentAfterUs = 2000000;
    o.markerEveryUs = 500000;
    Host host(o);
    host.send('G');
    host.run(2100000);
    const size_t streamed = host.received.size();
    EXPECT_GT(streamed, 15000u);
    host.run(3000000);
    EXPECT_EQ(host.received.size(), streamed);
    EXPECT_TRUE(host.module.silent());
    host.send('v');
    host.run(10000);
    ASSERT_EQ(host.received.size(), streamed + 7);
    EXPECT_EQ(host.received[streamed], 'V');
    EXPECT_EQ(host.count(ModuleEventKind::Marker), 3u);  // at 0.5, 1.0 and 1.5 s
}

TEST(ModuleSimulatorTest, AGoneHostStopsTheStream) {
    Host host(noiseOnly(80));
    host.send('G');
    host.run(500000);
    host.module.hostGone(host.now);
    EXPECT_EQ(host.module.state(), State::Idle);
    EXPECT_EQ(host.module.bufferedBytes(), 0u);
    EXPECT_EQ(host.events.back().kind, ModuleEventKind::HostGone);
    const size_t streamed = host.received.size();
    host.run(500000);
    EXPECT_EQ(host.received.size(), streamed);
}

TEST(ModuleSimulatorTest, CallsFasterThanTheLineOverflowASmallBuffer) {
    // Calls divided by 2 come far faster than 115 200 baud can carry; a buffer of 48 bytes
    // cannot hold one call, not even the shortest (a steep sweep of 1.5 ms sends about 90).
    ModuleSimulatorOptions o;
    o.night.mix = NightMix::Passes;
    o.night.ratio = 2;
    o.night.callsPerSecond = 20;
    o.bufferBytes = 48;
    Host host(o);
    host.send('G');
    host.run(3000000);
    EXPECT_EQ(host.module.state(), State::Halted);
    EXPECT_EQ(host.count(ModuleEventKind::Overflow), 1u);
}

TEST(ModuleSimulatorTest, TheSameSeedStreamsTheSameIntervals) {
    ModuleSimulatorOptions o;
    o.night.seed = 77;
    Host a(o), b(o);
    a.send('G');
    a.run(5000000);
    b.run(1234567);  // started later, read in other steps: the night waits for 'G'
    b.send('G');
    b.run(5000000, 3000);
    std::vector<int64_t> x = a.loggedIntervals(), y = b.loggedIntervals();
    ASSERT_GT(x.size(), 100u);
    size_t n = std::min(x.size(), y.size()) - 1;
    // Only the first interval, counted from each one's own 'G', may differ.
    EXPECT_TRUE(std::equal(x.begin() + 1, x.begin() + static_cast<long>(n), y.begin() + 1));
}

TEST(ModuleSimulatorTest, LogLinesCarryTheLocalClock) {
    using acquisition::moduleLogLine;
    EXPECT_EQ(moduleLogLine({ModuleEventKind::Interval, 500, 250, {}}, 1000), "I 1500 250");
    EXPECT_EQ(moduleLogLine({ModuleEventKind::StreamStarted, 7, 0, {}}, 1000), "S 1007");
    EXPECT_EQ(moduleLogLine({ModuleEventKind::Overflow, 9, 3, {}}, 1), "O 10 3");
    EXPECT_EQ(moduleLogLine({ModuleEventKind::Message, 9, 0, "two words"}, 1), "T 10 two words");
    EXPECT_EQ(moduleLogLine({ModuleEventKind::Marker, 2, 0, {}}, 0), "M 2");
    EXPECT_EQ(moduleLogLine({ModuleEventKind::StreamStopped, 2, 0, {}}, 0), "E 2");
    EXPECT_EQ(moduleLogLine({ModuleEventKind::HostGone, 2, 0, {}}, 0), "H 2");
    EXPECT_EQ(moduleLogLine({ModuleEventKind::VersionReply, 2, 0, {}}, 0), "V 2");
}

}  // namespace

TEST(ModuleSimulatorTest, NextEventIsTheMomentTheNextIntervalGoesOut) {
    ModuleSimulatorOptions o;
    o.night.mix = NightMix::Passes;
    o.night.callsPerSecond = 10;
    Host host(o);
    EXPECT_EQ(host.module.nextEventUs(), INT64_MAX);  // nothing is measured before 'G'
    host.send('G');
    // A driver that sleeps until each next event finds the first byte of its interval due
    // right then, and nothing before it.
    for (int checked = 0; checked < 200;) {
        if (host.module.bufferedBytes() > 0) {
            host.run(500, 500);  // a busy line: its bytes go out as the line takes them
            continue;
        }
        ++checked;
        const int64_t next = host.module.nextEventUs();
        ASSERT_GT(next, host.now);
        ASSERT_LT(next, host.now + 60000000);
        const size_t before = host.events.size();
        host.module.advance(next - 1);
        EXPECT_TRUE(host.module.lineBytes(next - 1).empty());
        host.module.consumed(0, next - 1);
        // Due then, or as soon as the line has finished the byte it may still be sending.
        host.now = next + 87;
        host.module.advance(host.now);
        const std::span<const uint8_t> due = host.module.lineBytes(host.now);
        ASSERT_FALSE(due.empty());
        EXPECT_NE(due[0] & 0x80, 0);  // the first byte of a value
        host.module.consumed(due.size(), host.now);
        host.run(2000, 500);  // the rest of the value goes out
        ASSERT_GT(host.events.size(), before);
        EXPECT_EQ(host.events[before].timeUs, next);
    }
    host.send('g');
    EXPECT_EQ(host.module.nextEventUs(), INT64_MAX);
}
