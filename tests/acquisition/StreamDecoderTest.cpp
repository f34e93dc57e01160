// The module stream decoder, byte by byte: every rule, the worked example, escapes, and
// malformed input. Encoded streams are built here the way a module sends them.
#include "acquisition/StreamDecoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "acquisition/CommFile.h"

using acquisition::StreamDecoder;

namespace {

constexpr int32_t msg(uint8_t b) {
    return static_cast<int32_t>(0x80000000u + b);
}

std::vector<int32_t> feedAll(StreamDecoder& d, const std::vector<uint8_t>& bytes) {
    std::vector<int32_t> out;
    for (uint8_t b : bytes) out.push_back(d.feed(b));
    return out;
}

void encode(uint32_t value, std::vector<uint8_t>& out) {
    out.push_back(static_cast<uint8_t>(0x80u | (value & 0x7Fu)));
    for (value >>= 7; value != 0; value >>= 7) out.push_back(static_cast<uint8_t>(value & 0x7Fu));
}

// The completed values of a stream, in order, leaving out the 0 the first value reports.
std::vector<int32_t> values(const std::vector<int32_t>& results) {
    std::vector<int32_t> v;
    for (int32_t r : results) {
        if (r > 0) v.push_back(r);
    }
    return v;
}

}  // namespace

TEST(StreamDecoder, WorkedExample) {
    StreamDecoder d;
    d.reset();
    EXPECT_EQ(feedAll(d, {0xAC, 0x02, 0x81, 0x80, 0x80, 0x81, 0x41, 0x00, 0x83}),
              (std::vector<int32_t>{0, -4, 300, -4, -4, -6, msg(0x41), -7, 1}));
}

TEST(StreamDecoder, ValuesAreReportedWhenTheNextOneBegins) {
    StreamDecoder d;
    EXPECT_EQ(feedAll(d, {0xAC, 0x02, 0x85}), (std::vector<int32_t>{0, -4, 300}));
    // A held-back 0x80 turns out to start 128 when a continuation byte follows.
    EXPECT_EQ(feedAll(d, {0x80, 0x01, 0x85}), (std::vector<int32_t>{-4, 5, 128}));
    // Single-byte values, each reported by the next.
    EXPECT_EQ(feedAll(d, {0x81, 0xFF, 0x82}), (std::vector<int32_t>{5, 1, 127}));
}

TEST(StreamDecoder, RoundTripOfEncodedIntervals) {
    std::mt19937 rng(7);
    std::vector<uint32_t> sent;
    std::vector<uint8_t> stream;
    for (int i = 0; i < 20000; ++i) {
        // Mostly realistic intervals, plus every group boundary and values ending in 0x00.
        uint32_t v;
        switch (i % 5) {
            case 0:
                v = 1u + rng() % 200u;
                break;
            case 1:
                v = 1u << (rng() % 31u);
                break;
            case 2:
                v = (1u + rng() % 1000u) * 128u;
                break;
            case 3:
                v = 1u + rng() % 0x7FFFFFFFu;
                break;
            default:
                v = 128u * 128u * (1u + rng() % 100u);
                break;
        }
        sent.push_back(v);
        encode(v, stream);
    }
    stream.push_back(0x81);  // reports the last value
    StreamDecoder d;
    d.reset();
    std::vector<int32_t> got = values(feedAll(d, stream));
    ASSERT_EQ(got.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        ASSERT_EQ(static_cast<uint32_t>(got[i]), sent[i]) << i;
    }
}

TEST(StreamDecoder, OverflowClearsHistoryButKeepsTheValue) {
    StreamDecoder d;
    d.reset();
    EXPECT_EQ(feedAll(d, {0xAC, 0x02, 0x80, 0x80, 0x80}),
              (std::vector<int32_t>{0, -4, -4, -4, -3}));
    // The value in progress (300) is reported by the next first byte...
    EXPECT_EQ(d.feed(0x85), 300);
    // ...unless a reset comes first.
    feedAll(d, {0x80, 0x80, 0x80});
    d.reset();
    EXPECT_EQ(d.feed(0x86), 0);
    EXPECT_EQ(d.feed(0x81), 6);
    // Right after an overflow the history is empty, so 0x80 0x01 starts 128 normally.
    EXPECT_EQ(feedAll(d, {0x80, 0x80, 0x80, 0x80, 0x01, 0x81}),
              (std::vector<int32_t>{-4, -4, -3, -4, 1, 128}));
}

TEST(StreamDecoder, MarkerIsTransparentToTheValueInProgress) {
    StreamDecoder d;
    d.reset();
    // 300 split by a marker between its two bytes.
    EXPECT_EQ(feedAll(d, {0xAC, 0x80, 0xFF, 0x80, 0x02, 0x81}),
              (std::vector<int32_t>{0, -4, -4, -2, -4, 300}));
    // A marker after a complete value: the value still comes out at the next first byte.
    EXPECT_EQ(feedAll(d, {0x80, 0xFF, 0x80, 0x83}), (std::vector<int32_t>{-4, -4, -2, 1}));
    EXPECT_EQ(d.feed(0x81), 3);
}

TEST(StreamDecoder, MessagesAndTheirBytes) {
    StreamDecoder d;
    d.reset();
    EXPECT_EQ(feedAll(d, {0x85, 0x80, 0x80, 0x81}), (std::vector<int32_t>{0, -4, -4, -6}));
    EXPECT_TRUE(d.inMessage());
    // Inside a message nothing is an escape, 0xFF included.
    EXPECT_EQ(
        feedAll(d, {0x80, 0x80, 0x80, 0xFF, 'O', 'K'}),
        (std::vector<int32_t>{msg(0x80), msg(0x80), msg(0x80), msg(0xFF), msg('O'), msg('K')}));
    EXPECT_TRUE(StreamDecoder::isMessageByte(msg(0xFF)));
    EXPECT_TRUE(StreamDecoder::isMessageByte(msg(1)));
    EXPECT_FALSE(StreamDecoder::isMessageByte(-7));
    EXPECT_FALSE(StreamDecoder::isMessageByte(INT32_MIN));
    EXPECT_EQ(d.feed(0x00), -7);
    EXPECT_FALSE(d.inMessage());
    // The value begun before the message (5) continues.
    EXPECT_EQ(d.feed(0x82), 5);
    // The short form 0x80 0x81 after any byte starts a message too.
    EXPECT_EQ(feedAll(d, {0x80, 0x81, 0x00, 0x81}), (std::vector<int32_t>{-4, -6, -7, 2}));
    // A reset leaves a message.
    feedAll(d, {0x80, 0x81});
    d.reset();
    EXPECT_FALSE(d.inMessage());
    EXPECT_EQ(d.feed(0x00), -4);
}

TEST(StreamDecoder, MalformedSequencesDropTheValueInProgress) {
    StreamDecoder d;
    d.reset();
    // 0x80 then a first byte other than 0x81/0xFF: the value in progress (300) is lost.
    EXPECT_EQ(feedAll(d, {0xAC, 0x02, 0x80, 0x85, 0x81}), (std::vector<int32_t>{0, -4, -4, 0, 5}));
    // A continuation byte after 0x80 0x80 drops it too and starts (0x80&0x7F)+b*128.
    EXPECT_EQ(feedAll(d, {0xAC, 0x80, 0x80, 0x03, 0x81}),
              (std::vector<int32_t>{1, -4, -4, 0, 384}));
    // ...and after 0x80 0xFF: 0x7F + b*128.
    EXPECT_EQ(feedAll(d, {0xAC, 0x80, 0xFF, 0x01, 0x81}),
              (std::vector<int32_t>{1, -4, -4, 0, 255}));
    // Continuation bytes with nothing begun add to the emptied value at the shift left by
    // the last value (a reset keeps the shift): here 7 after the one-byte value 0x81.
    d.reset();
    EXPECT_EQ(feedAll(d, {0x05, 0x05, 0x81}), (std::vector<int32_t>{-4, -4, 5 * 128 + 5 * 16384}));
}

TEST(StreamDecoder, WideValuesKeepOnlyTheirLow32Bits) {
    StreamDecoder d;
    d.reset();
    // Five groups: the fifth adds only its low 4 bits; a sixth and more add nothing.
    std::vector<int32_t> r = feedAll(d, {0x81, 0x00, 0x00, 0x00, 0x7F, 0x7F, 0x7F, 0x81});
    EXPECT_EQ(static_cast<uint32_t>(r.back()), 0xF0000001u);
    // A value of 2^31 or more comes out negative, never as an interval.
    EXPECT_LT(r.back(), 0);
    std::vector<uint8_t> longRun(1002, 0x7F);
    longRun.front() = 0x82;
    longRun.back() = 0x81;
    r = feedAll(d, longRun);
    EXPECT_EQ(static_cast<uint32_t>(r.back()), 2u + (0xFFFFFFFFu & ~0x7Fu));
}

TEST(StreamDecoder, NextReportsNoDataWithoutTouchingTheState) {
    acquisition::CommFile closed;
    StreamDecoder d;
    d.reset();
    d.feed(0xAC);
    EXPECT_EQ(d.next(closed), StreamDecoder::kNoData);
    EXPECT_EQ(d.feed(0x02), -4);
    EXPECT_EQ(d.feed(0x81), 300);
}

TEST(StreamDecoder, FinishHandsOverTheLastValueOnce) {
    StreamDecoder d;
    d.reset();
    EXPECT_EQ(d.finish(), StreamDecoder::kNothing);  // nothing begun
    feedAll(d, {0x85, 0xAC, 0x02});
    EXPECT_EQ(d.finish(), 300);
    EXPECT_EQ(d.finish(), StreamDecoder::kNothing);
    // An unfinished escape at the end is no value; the one before it is complete.
    feedAll(d, {0x85, 0x83, 0x80, 0xFF});
    EXPECT_EQ(d.finish(), 3);
    feedAll(d, {0x85, 0x84, 0x80});
    EXPECT_EQ(d.finish(), 4);
    // The value before an unfinished message is complete as well.
    feedAll(d, {0x85, 0x86, 0x80, 0x81, 0x41});
    EXPECT_EQ(d.finish(), 6);
    EXPECT_FALSE(d.inMessage());
}
