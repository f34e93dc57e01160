// The module's side of the stream format: the bytes match the format's examples, and every
// mix of values and escapes decodes back to what was sent.
#include "acquisition/ModuleWireEncoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "acquisition/StreamDecoder.h"

namespace {

namespace wire = acquisition::wire;
using acquisition::StreamDecoder;

std::vector<uint8_t> encoded(uint32_t value) {
    std::vector<uint8_t> out;
    wire::appendValue(out, value);
    return out;
}

TEST(ModuleWireEncoderTest, ValuesGoLeastSignificantGroupFirst) {
    EXPECT_EQ(encoded(300), (std::vector<uint8_t>{0xAC, 0x02}));
    EXPECT_EQ(encoded(128), (std::vector<uint8_t>{0x80, 0x01}));
    EXPECT_EQ(encoded(1), (std::vector<uint8_t>{0x81}));
    EXPECT_EQ(encoded(127), (std::vector<uint8_t>{0xFF}));
    EXPECT_EQ(encoded(16384), (std::vector<uint8_t>{0x80, 0x00, 0x01}));
    EXPECT_EQ(encoded(0xFFFFFFFFu), (std::vector<uint8_t>{0xFF, 0x7F, 0x7F, 0x7F, 0x0F}));
    for (uint32_t v : {1u, 127u, 128u, 16383u, 16384u, 2097151u, 2097152u, 268435455u, 268435456u,
                       0x7FFFFFFFu}) {
        EXPECT_EQ(static_cast<size_t>(wire::encodedSize(v)), encoded(v).size()) << v;
    }
}

TEST(ModuleWireEncoderTest, TheWorkedExampleIsWhatTheModuleSends) {
    // 300, then 1, then the message "A", then 3: the decoder's worked example.
    std::vector<uint8_t> out;
    wire::appendValue(out, 300);
    wire::appendValue(out, 1);
    EXPECT_TRUE(wire::appendMessage(out, "A"));
    wire::appendValue(out, 3);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xAC, 0x02, 0x81, 0x80, 0x80, 0x81, 0x41, 0x00, 0x83}));

    std::vector<uint8_t> escapes;
    wire::appendOverflow(escapes);
    wire::appendMarker(escapes);
    EXPECT_EQ(escapes, (std::vector<uint8_t>{0x80, 0x80, 0x80, 0x80, 0xFF, 0x80}));
}

TEST(ModuleWireEncoderTest, AMessageCannotCarryAZeroByte) {
    std::vector<uint8_t> out{0x81};
    EXPECT_FALSE(wire::appendMessage(out, std::string_view("a\0b", 3)));
    EXPECT_EQ(out, std::vector<uint8_t>{0x81});
}

TEST(ModuleWireEncoderTest, RandomStreamsWithEscapesDecodeBackToWhatWasSent) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes;
        std::vector<uint32_t> sent;
        std::vector<std::string> escapes;  // the messages, in sending order
        int markers = 0, messages = 0;
        for (int i = 0; i < 60; ++i) {
            // Values of every width, many with low groups of 0 (which begin with 0x80).
            const int bits = 1 + static_cast<int>(random() % 31);
            uint32_t v = static_cast<uint32_t>(random()) & ((1u << bits) - 1u);
            if (random() % 3 == 0) v &= ~0x7Fu;
            if (v == 0) v = 128;
            wire::appendValue(bytes, v);
            sent.push_back(v);
            switch (random() % 6) {
                case 0:
                    wire::appendMarker(bytes);
                    ++markers;
                    break;
                case 1: {
                    std::string text;
                    for (int n = 1 + static_cast<int>(random() % 5); n > 0; --n) {
                        text += static_cast<char>(1 + random() % 255);  // 0x80 among them
                    }
                    wire::appendMessage(bytes, text);
                    escapes.push_back("message:" + text);
                    ++messages;
                    break;
                }
                default:
                    break;
            }
        }
        wire::appendValue(bytes, 5);  // completes the last value sent

        StreamDecoder decoder;
        decoder.reset();
        std::vector<uint32_t> got;
        std::vector<std::string> texts;
        std::string text;
        int gotMarkers = 0;
        for (uint8_t b : bytes) {
            const int32_t r = decoder.feed(b);
            if (r > 0) got.push_back(static_cast<uint32_t>(r));
            if (r == StreamDecoder::kMarker) ++gotMarkers;
            if (r == StreamDecoder::kMessageStart) text.clear();
            if (StreamDecoder::isMessageByte(r)) text += static_cast<char>(r - INT32_MIN);
            if (r == StreamDecoder::kMessageEnd) texts.push_back("message:" + text);
            EXPECT_NE(r, StreamDecoder::kOverflow);
        }
        // Values above 2^31 come out negative and are not intervals; the module never sends
        // them as intervals, so compare the rest.
        std::vector<uint32_t> expected;
        for (uint32_t v : sent) {
            if (v <= 0x7FFFFFFFu) expected.push_back(v);
        }
        EXPECT_EQ(got, expected) << "round " << round;
        EXPECT_EQ(gotMarkers, markers);
        EXPECT_EQ(texts, escapes);
    }
}

TEST(ModuleWireEncoderTest, AnOverflowBetweenValuesIsReportedAtItsLastByte) {
    std::vector<uint8_t> bytes;
    wire::appendValue(bytes, 300);
    wire::appendValue(bytes, 128);  // begins with 0x80, like the escape
    const size_t escapeAt = bytes.size();
    wire::appendOverflow(bytes);
    StreamDecoder decoder;
    decoder.reset();
    std::vector<int32_t> results;
    for (uint8_t b : bytes) results.push_back(decoder.feed(b));
    ASSERT_EQ(results.size(), escapeAt + 3);
    EXPECT_EQ(results[escapeAt - 1], 300);  // 128's first byte holds it back, its second reports
    EXPECT_EQ(results[escapeAt + 2], StreamDecoder::kOverflow);
    for (size_t i = 0; i < escapeAt + 2; ++i) EXPECT_NE(results[i], StreamDecoder::kOverflow);
    // After the recorder's reset and 'G', the next values decode cleanly.
    decoder.reset();
    std::vector<uint8_t> after;
    wire::appendValue(after, 77);
    wire::appendValue(after, 200);
    std::vector<int32_t> values;
    for (uint8_t b : after) {
        if (int32_t r = decoder.feed(b); r > 0) values.push_back(r);
    }
    EXPECT_EQ(values, std::vector<int32_t>{77});
}

}  // namespace
