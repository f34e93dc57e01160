// The serial test's logic without a port: its decoder byte by byte, the counting of
// intervals against the device clock with the overflow offset, and the field formats.
#include <gtest/gtest.h>

#include <vector>

#include "acquisition/SerialTestDecoder.h"
#include "acquisition/SerialTestStats.h"

using acquisition::SerialTestDecoder;
using acquisition::SerialTestStats;

namespace {

std::vector<int32_t> feed(SerialTestDecoder& d, const std::vector<uint8_t>& bytes) {
    std::vector<int32_t> out;
    for (uint8_t b : bytes) out.push_back(d.Next(b));
    return out;
}

constexpr int32_t msg(uint8_t b) {
    return SerialTestDecoder::kMessageByte + b;
}

const JulianTime kStart = JulianTime::fromDateTime(2024, 6, 1, 21, 0, 0, 0);

}  // namespace

TEST(SerialTestDecoder, ValuesEscapesAndMessages) {
    SerialTestDecoder d;
    // 300, then 1: each value is reported when the next begins (the first reports 0).
    EXPECT_EQ(feed(d, {0xAC, 0x02, 0x81}), (std::vector<int32_t>{0, -4, 300}));
    // A 0x80 followed by a byte with bit 7 clear began 128.
    EXPECT_EQ(feed(d, {0x80, 0x01, 0x85}), (std::vector<int32_t>{-4, 1, 128}));
    // Marker, then a message, then the next value reports 5 from before them all.
    EXPECT_EQ(feed(d, {0x80, 0xFF, 0x80}), (std::vector<int32_t>{-4, -4, -2}));
    EXPECT_EQ(feed(d, {0x80, 0x81, 'H', 0x80, 0x00}),
              (std::vector<int32_t>{-4, -6, msg('H'), msg(0x80), -7}));
    EXPECT_EQ(feed(d, {0x82}), (std::vector<int32_t>{5}));
    // An overflow: the value cut off by the escape comes out when the stream resumes.
    EXPECT_EQ(feed(d, {0x86, 0x80, 0x80, 0x80, 0x87}), (std::vector<int32_t>{2, -4, -4, -3, 6}));
    // The last escape of an overflow or a marker begins nothing: a value whose first byte is
    // 0x81 (not a message) or 0xFF (not a marker) after it is a value.
    EXPECT_EQ(feed(d, {0x80, 0x80, 0x80, 0x81, 0x82}), (std::vector<int32_t>{-4, -4, -3, 7, 1}));
    EXPECT_EQ(feed(d, {0x80, 0xFF, 0x80, 0xFF, 0x81}), (std::vector<int32_t>{-4, -4, -2, 2, 127}));
}

TEST(SerialTestStats, ClocksInStepAreNeverBad) {
    SerialTestStats s;
    s.Begin(kStart, 5000);
    // 2000 intervals of 500 µs, the tick counter keeping step: one second.
    for (int i = 1; i <= 2000; ++i) s.CountInterval(500, 5000 + static_cast<uint64_t>(i) / 2);
    EXPECT_EQ(s.transitions(), 2000);
    EXPECT_EQ(s.badTransitions(), 0);
    EXPECT_EQ(s.transitionClock(), kStart + JulianTime::kSecond);
    EXPECT_EQ(s.realClock(), kStart + JulianTime::kSecond);
    EXPECT_EQ(s.texts().transitions, "2,000");
    EXPECT_EQ(s.texts().transitionTime, "21:00:01.000 000");
}

TEST(SerialTestStats, DriftBeyondASecondIsBadButNotTheFirstInterval) {
    SerialTestStats s;
    s.Begin(kStart, 0);
    // The first interval claims 3 s at once: never bad.
    s.CountInterval(3000000, 10);
    EXPECT_EQ(s.badTransitions(), 0);
    // The module's clock is now 3 s ahead of the device's previous reading: bad.
    s.CountInterval(100, 20);
    EXPECT_EQ(s.badTransitions(), 1);
    EXPECT_EQ(s.badTime(), JulianTime(int64_t{100}));
    // Exactly one second apart is still good (the limit is "more than").
    SerialTestStats t;
    t.Begin(kStart, 0);
    t.CountInterval(1000, 0);
    t.CountInterval(999000, 0);  // module 1 s on, device clock at the start
    EXPECT_EQ(t.badTransitions(), 0);
    t.CountInterval(1, 0);
    EXPECT_EQ(t.badTransitions(), 1);
    EXPECT_EQ(t.texts().badTime, "0h  0m  0s 000 001");
}

TEST(SerialTestStats, OverflowOffsetIsTakenAtTheFirstIntervalAfterEachOverflow) {
    SerialTestStats s;
    s.Begin(kStart, 0);
    uint64_t tick = 0;
    for (int i = 0; i < 10; ++i) s.CountInterval(1000, tick += 1);
    // The module stopped for 5 s while the overflow drained: its clock now lags.
    tick += 5000;
    s.OverflowEnded();
    s.CountInterval(1000, tick += 1);
    s.CountInterval(1000, tick += 1);
    EXPECT_EQ(s.overflows(), 1);
    EXPECT_EQ(s.badTransitions(), 0);
    EXPECT_EQ(s.overflowOffset(), JulianTime(int64_t{-5000000}));
    EXPECT_EQ(s.texts().overflowTime, "-0h  0m  5s 000 000");
    // A second overflow takes a new offset; lagging 2 s more is no fault either.
    tick += 2000;
    s.OverflowEnded();
    for (int i = 0; i < 5; ++i) s.CountInterval(1000, tick += 1);
    EXPECT_EQ(s.overflows(), 2);
    EXPECT_EQ(s.badTransitions(), 0);
    EXPECT_EQ(s.overflowOffset(), JulianTime(int64_t{-7000000}));
    // Without an overflow the same lag is bad.
    tick += 2000;
    s.CountInterval(1000, tick += 1);
    s.CountInterval(1000, tick += 1);
    EXPECT_EQ(s.badTransitions(), 1);
}

TEST(SerialTestFormats, ThousandsSeparators) {
    EXPECT_EQ(SerialTestStats::WithThousands(0), "0");
    EXPECT_EQ(SerialTestStats::WithThousands(999), "999");
    EXPECT_EQ(SerialTestStats::WithThousands(1000), "1,000");
    EXPECT_EQ(SerialTestStats::WithThousands(4123765), "4,123,765");
    EXPECT_EQ(SerialTestStats::WithThousands(-1234), "-1,234");
    EXPECT_EQ(SerialTestStats::WithThousands(-123), "-123");
    EXPECT_EQ(SerialTestStats::WithThousands(9223372036854775807), "9,223,372,036,854,775,807");
}

TEST(SerialTestFormats, ClockAndDuration) {
    const JulianTime t = JulianTime::fromDateTime(0, 0, 0, 1, 37, 24, 0);
    EXPECT_EQ(SerialTestStats::ClockText(t), "01:37:24.000 000");
    EXPECT_EQ(SerialTestStats::ClockText(kStart + 123456), "21:00:00.123 456");
    EXPECT_EQ(SerialTestStats::DurationText(t), "1h  37m  24s 000 000");
    EXPECT_EQ(SerialTestStats::DurationText(JulianTime(int64_t{5})), "0h  0m  0s 000 005");
    EXPECT_EQ(SerialTestStats::DurationText(JulianTime(int64_t{-1500000})), "-0h  0m  1s 500 000");
    // Hours go on past a day instead of starting again.
    EXPECT_EQ(SerialTestStats::DurationText(JulianTime(26 * JulianTime::kHour + 61000001)),
              "26h  1m  1s 000 001");
    EXPECT_EQ(SerialTestStats::DurationText(JulianTime::invalid()), "");
    // What a dialog shows before its first run.
    SerialTestStats s;
    s.Begin(kStart, 0);
    s.OverflowEnded();
    s.Reset();
    EXPECT_EQ(s.texts().transitionTime, "00:00:00.000 000");
    EXPECT_EQ(s.texts().overflowTime, "0h  0m  0s 000 000");
    EXPECT_EQ(s.texts().overflows, "0");
}
