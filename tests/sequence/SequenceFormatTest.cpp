#include "sequence/SequenceFormat.h"

#include <gtest/gtest.h>

#include <random>

#include "SequenceTestData.h"

namespace {

using Bytes = std::vector<uint8_t>;
using seqtest::encode;
using seqtest::oldTypeImage;
using seqtest::storeFromIntervals;

Bytes dataOf(const Bytes& image) {
    return Bytes(image.begin() + 336, image.end());
}

void putWord(Bytes& image, size_t offset, uint16_t v) {
    image[offset] = static_cast<uint8_t>(v & 0xFF);
    image[offset + 1] = static_cast<uint8_t>(v >> 8);
}

std::vector<int32_t> timesOf(const DotStore& store) {
    return std::vector<int32_t>(store.times.begin(), store.times.begin() + store.count);
}

TEST(SequenceEncode, ChoosesTheShortestCodeForEachInterval) {
    auto store = storeFromIntervals({100, 120, 60, 5000, 9000, 3000000});
    Bytes image = encode(*store);
    EXPECT_EQ(dataOf(image), (Bytes{0x80, 0x64, 0x14, 0x44, 0x93, 0x88, 0xA0, 0x23, 0x28, 0xC0,
                                    0x2D, 0xC6, 0xC0}));
}

TEST(SequenceEncode, CodeBoundaries) {
    // 63 and -64 are the widest deltas; 8191 and 2097151 the largest 2- and 3-byte values.
    auto store = storeFromIntervals({63, 127, 63, 8191, 100, 8192, 100, 2097151, 100, 2097152, 36});
    EXPECT_EQ(dataOf(encode(*store)),
              (Bytes{0x3F, 0x80, 0x7F, 0x40, 0x9F, 0xFF, 0x80, 0x64, 0xA0, 0x20, 0x00, 0x80,
                     0x64, 0xBF, 0xFF, 0xFF, 0x80, 0x64, 0xC0, 0x20, 0x00, 0x00, 0x80, 0x24}));
}

TEST(SequenceEncode, HeaderOfAWrittenFile) {
    auto store = storeFromIntervals({100});
    SequenceStartTime start =
        SequenceStartTime::fromJulian(JulianTime::fromDateTime(2011, 7, 1, 18, 45, 14, 123456));
    PositionBlock position = PositionBlock::build(1, 52.5, -1.25, 120);
    Bytes image = encode(*store, start, position);
    ASSERT_EQ(image.size(), 338u);
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 6), (Bytes{0x1A, 0x01, 0x00, 0x84, 0x00, 0x00}));
    for (size_t i = 6; i <= 280; ++i) ASSERT_EQ(image[i], ' ') << "offset " << i;
    EXPECT_EQ(image[281], 0);
    EXPECT_EQ(Bytes(image.begin() + 282, image.begin() + 288),
              (Bytes{0x50, 0x01, 0xA8, 0x61, 0x10, 0x52}));
    // 2011 = 0x07DB; 123 456 µs = 12 hundredths and 3 456 µs.
    EXPECT_EQ(Bytes(image.begin() + 288, image.begin() + 304),
              (Bytes{0xDB, 0x07, 7, 1, 18, 45, 14, 12, 0x80, 0x0D, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::string(image.begin() + 304, image.begin() + 336),
              "WGS84     N5250000 W00125000 120");
}

TEST(SequenceEncode, HeaderTextIsSevenBitWithSpacesForZeros) {
    auto store = storeFromIntervals({});
    SequenceHeaderText text;
    text.tape = {'T', static_cast<char>(0xC1), 0, 'x'};
    text.note1[72] = 'a';
    text.note2 = {static_cast<char>(0x80), 'b'};
    text.note2[79] = 'z';
    Bytes image = encodeSequenceImage(*store, text, SequenceStartTime{}, PositionBlock{});
    EXPECT_EQ(std::string(image.begin() + 6, image.begin() + 14), "TA x    ");
    EXPECT_EQ(image[200], 'a');
    EXPECT_EQ(image[201], ' ');
    EXPECT_EQ(image[202], 'b');
    EXPECT_EQ(image[280], 'z');
    EXPECT_EQ(image[281], 0);
}

TEST(SequenceEncode, RatioOutsideWhatReadersAcceptIsClampedNotWritten) {
    auto store = storeFromIntervals({100}, 0);
    EXPECT_EQ(encode(*store)[286], 1);
    store->divisionRatio = 65;
    EXPECT_EQ(encode(*store)[286], 64);
}

TEST(SequenceEncode, IntervalsNoCodeCanCarryEndTheData) {
    // A backwards step is not an interval; the data ends before it instead of wrapping.
    auto store = storeFromIntervals({100, 200, -5, 300});
    Bytes image = encode(*store);
    EXPECT_EQ(dataOf(image), (Bytes{0x80, 0x64, 0x80, 0xC8}));
    auto tooLong = storeFromIntervals({100, seqformat::kMaxInterval + 1});
    EXPECT_EQ(dataOf(encode(*tooLong)), (Bytes{0x80, 0x64}));
}

TEST(SequenceEncode, TooSmallBufferWritesNothing) {
    auto store = storeFromIntervals({100});
    Bytes buffer(seqformat::kMaxFileSize - 1, 0xEE);
    EXPECT_EQ(encodeSequenceImage(*store, {}, {}, {}, buffer), 0u);
    EXPECT_EQ(buffer[0], 0xEE);
}

TEST(SequenceSizeLimit, CutAtTheLastIntervalThatFits) {
    // Alternating 100 and 300 µs never fits a delta: every interval takes two bytes.
    std::vector<int32_t> intervals;
    for (int i = 0; i < 16383; ++i) intervals.push_back(i % 2 ? 300 : 100);
    auto store = storeFromIntervals(intervals);
    Bytes image = encode(*store);
    EXPECT_EQ(image.size(), 32762u);  // 336 + 2 × 16 213; one more code would pass 32 763
    auto back = std::make_unique<DotStore>();
    ASSERT_EQ(decodeSequenceImage(image, *back), 1 + 16213);
    EXPECT_EQ(timesOf(*back),
              std::vector<int32_t>(store->times.begin(), store->times.begin() + 1 + 16213));
}

TEST(SequenceSizeLimit, OneByteCodesNeverTakeTheFilePast32763Bytes) {
    // One 3-byte code and 16 212 2-byte codes end exactly at 32 763; the following delta
    // must not be written.
    std::vector<int32_t> intervals{10000};
    for (int i = 0; i < 16212; ++i) intervals.push_back(i % 2 ? 300 : 100);
    intervals.push_back(intervals.back() + 1);
    auto store = storeFromIntervals(intervals);
    Bytes image = encode(*store);
    EXPECT_EQ(image.size(), seqformat::kMaxWrittenSize);
    auto back = std::make_unique<DotStore>();
    EXPECT_EQ(decodeSequenceImage(image, *back), 1 + 1 + 16212);
}

TEST(SequenceRoundTrip, RandomSequencesComeBackUnchanged) {
    std::mt19937 rng(20110701);
    auto back = std::make_unique<DotStore>();
    for (size_t length : {size_t{0}, size_t{1}, size_t{2}, size_t{17}, size_t{1000}, size_t{8000},
                          size_t{16383}, size_t{16383}, size_t{16383}}) {
        auto intervals = seqtest::randomIntervals(rng, length);
        auto store = storeFromIntervals(intervals, 1 + static_cast<int32_t>(length % 64));
        Bytes image = encode(*store);
        ASSERT_LE(image.size(), seqformat::kMaxWrittenSize);
        const int32_t dots = decodeSequenceImage(image, *back);
        ASSERT_GT(dots, 0);
        if (dots < store->count) {
            // Only the size limit may drop intervals, and only when the next code can't fit.
            EXPECT_GT(image.size() + 4, seqformat::kMaxWrittenSize) << "length " << length;
        }
        EXPECT_EQ(timesOf(*back),
                  std::vector<int32_t>(store->times.begin(), store->times.begin() + dots));
        EXPECT_EQ(back->divisionRatio, store->divisionRatio);
    }
}

TEST(SequenceRoundTrip, FullLengthSequenceFitsAndKeepsEveryInterval) {
    // 16 383 intervals of a smooth call-like sweep: every dot comes back.
    std::vector<int32_t> intervals;
    for (int i = 0; i < 16383; ++i)
        intervals.push_back(20 + (i % 200) / 4 + (i % 1000 == 0) * 5000);
    auto store = storeFromIntervals(intervals);
    auto back = std::make_unique<DotStore>();
    ASSERT_EQ(decodeSequenceImage(encode(*store), *back), 16384);
    EXPECT_EQ(timesOf(*back), timesOf(*store));
    EXPECT_EQ(back->status[0], 254);
    EXPECT_EQ(back->status[1], 254);
    EXPECT_EQ(back->status[2], 0);
}

TEST(SequenceDecode, TimingValueScalesIntervalsHalfUp) {
    auto store = storeFromIntervals({3, 5, 1, 101, 8000});
    Bytes image = encode(*store);
    putWord(image, 284, 50000);
    auto back = std::make_unique<DotStore>();
    ASSERT_EQ(decodeSequenceImage(image, *back), 6);
    // 1.5 → 2, 2.5 → 3, 0.5 → 1, 50.5 → 51, 4000; the running value stays unscaled.
    EXPECT_EQ(timesOf(*back), (std::vector<int32_t>{0, 2, 5, 6, 57, 4057}));
    EXPECT_EQ(back->timingValue, 25000);

    putWord(image, 284, 30000);  // 25/30: 3 → 2.5 → 3 exactly, 101 → 84.17 → 84
    ASSERT_EQ(decodeSequenceImage(image, *back), 6);
    EXPECT_EQ(timesOf(*back), (std::vector<int32_t>{0, 3, 7, 8, 92, 6759}));
}

TEST(SequenceDecode, RejectsBrokenHeadersAndLeavesTheStoreAlone) {
    auto store = storeFromIntervals({100, 120});
    const Bytes good = encode(*store);
    auto back = storeFromIntervals({1, 2, 3, 4});
    auto expectRejected = [&](Bytes image, const char* what) {
        EXPECT_EQ(decodeSequenceImage(image, *back), 0) << what;
        EXPECT_EQ(back->count, 5) << what;
        EXPECT_EQ(back->times[4], 10) << what;
    };
    expectRejected(Bytes(good.begin(), good.begin() + 199), "199 bytes");
    expectRejected(Bytes(good.begin(), good.begin() + 287), "cut inside the parameters");
    expectRejected(Bytes(good.begin(), good.begin() + 335), "cut inside start and position");
    expectRejected({}, "empty");
    for (uint8_t type : {0x80, 0x85, 0x00, 0xFF}) {
        Bytes image = good;
        image[3] = type;
        expectRejected(image, "type");
    }
    for (uint8_t ratio : {0, 65, 255}) {
        Bytes image = good;
        image[286] = ratio;
        expectRejected(image, "ratio");
    }
    for (uint16_t timing : {9999, 60001, 0}) {
        Bytes image = good;
        putWord(image, 284, timing);
        expectRejected(image, "timing");
    }
    Bytes image = good;
    putWord(image, 0, 283);
    expectRejected(image, "parameter offset");
    image = good;
    putWord(image, 282, 288);
    expectRejected(image, "old data offset in a 0x84 file");
    image = good;
    image[3] = 0x83;
    expectRejected(image, "new data offset in a 0x83 file");

    // The edges of what is accepted.
    for (auto [ratio, timing] : {std::pair{1, 10000}, std::pair{64, 60000}}) {
        Bytes edge = good;
        edge[286] = static_cast<uint8_t>(ratio);
        putWord(edge, 284, static_cast<uint16_t>(timing));
        EXPECT_EQ(decodeSequenceImage(edge, *back), 3);
        EXPECT_EQ(back->divisionRatio, ratio);
    }
    EXPECT_EQ(decodeSequenceImage(Bytes(good.begin(), good.begin() + 336), *back), 1);
}

TEST(SequenceDecode, ReadsOnlyTheFirst32768Bytes) {
    Bytes image = encode(*storeFromIntervals({100}));
    // Intervals of 1 µs in two-byte codes up to the limit, then more beyond it.
    while (image.size() < seqformat::kMaxFileSize + 20) image.insert(image.end(), {0x80, 0x01});
    auto back = std::make_unique<DotStore>();
    EXPECT_EQ(decodeSequenceImage(image, *back), 2 + (32768 - 338) / 2);
    EXPECT_EQ(back->times[1], 100);
}

TEST(SequenceDecode, FifteenSecondAnd16383IntervalLimits) {
    auto back = std::make_unique<DotStore>();
    // 8 s + 8 s: the second would pass 14 999 999 µs.
    auto store = storeFromIntervals({6999999, 8000000, 1});
    Bytes image = encode(*store);
    EXPECT_EQ(decodeSequenceImage(image, *back), 3);
    EXPECT_EQ(back->times[2], 14999999);
    image = encode(*storeFromIntervals({7000000, 8000000}));
    EXPECT_EQ(decodeSequenceImage(image, *back), 2);

    // 20 000 intervals of 1 µs: the store ends at 16 384 dots.
    Bytes many = encode(*storeFromIntervals({}));
    many.push_back(0x01);
    many.insert(many.end(), 19999, 0x00);
    EXPECT_EQ(decodeSequenceImage(many, *back), 16384);
    EXPECT_EQ(back->times[16383], 16383);

    // A status run when only the last dot is left stops there.
    Bytes runs = encode(*storeFromIntervals({}));
    runs.push_back(0x01);
    runs.insert(runs.end(), 16381, 0x00);  // 16 382 intervals: the next dot is 16 383
    runs.insert(runs.end(), {0xE2, 0xFF});
    back->status.fill(9);
    back->frequency.fill(-7);
    EXPECT_EQ(decodeSequenceImage(runs, *back), 16383);
    EXPECT_EQ(back->status[16382], 0);
    EXPECT_EQ(back->status[16383], 2);
    EXPECT_EQ(back->frequency[0], -7);  // nothing written past the status array
}

TEST(SequenceDecode, BackwardsDeltasEndTheData) {
    Bytes image = encode(*storeFromIntervals({}));
    image.insert(image.end(), {0x05, 0x40 /* -64 */, 0x80, 0x10});
    auto back = std::make_unique<DotStore>();
    EXPECT_EQ(decodeSequenceImage(image, *back), 2);
    EXPECT_EQ(back->times[1], 5);
}

TEST(SequenceDecode, CodeRunningPastTheEndStops) {
    for (uint8_t first : {0x80, 0xA0, 0xC0, 0xE0}) {
        Bytes image = encode(*storeFromIntervals({7}));
        image.push_back(first);
        if (first == 0xA0 || first == 0xC0) image.push_back(0x01);
        if (first == 0xC0) image.push_back(0x01);
        auto back = std::make_unique<DotStore>();
        EXPECT_EQ(decodeSequenceImage(image, *back), 2) << int{first};
    }
}

TEST(OlderTypes, Type81MantissaExponentCodesAndStatusRuns) {
    // 0x91 0x2C: e = 2, m = 300 → 1 200; +5 → 1 205; two dots of status 1; 0x80 0x64 → 100;
    // 0xF8 0x01: e = 15, m = 1 → 32 768 (0xF8 is still a two-byte code).
    Bytes image = oldTypeImage(0x81, {0x91, 0x2C, 0x05, 0xFA, 0x80, 0x64, 0xF8, 0x01});
    auto back = std::make_unique<DotStore>();
    ASSERT_EQ(decodeSequenceImage(image, *back), 5);
    EXPECT_EQ(timesOf(*back), (std::vector<int32_t>{0, 1200, 2405, 2505, 35273}));
    EXPECT_EQ(back->status[1], 254);
    EXPECT_EQ(back->status[2], 0);
    EXPECT_EQ(back->status[3], 1);
    EXPECT_EQ(back->status[4], 1);
    EXPECT_EQ(back->status[5], 0);
    EXPECT_EQ(back->divisionRatio, 10);
}

TEST(OlderTypes, Type81HasNoFifteenSecondLimitButStaysWithin32Bits) {
    // 0xF8 0xFF: 255 × 2^15 = 8 355 840 µs. Two of them pass 15 s and are kept.
    Bytes data;
    for (int i = 0; i < 300; ++i) data.insert(data.end(), {0xF8, 0xFF});
    auto back = std::make_unique<DotStore>();
    const int32_t dots = decodeSequenceImage(oldTypeImage(0x81, data), *back);
    EXPECT_EQ(dots, 1 + 257);  // 257 × 8 355 840 < 2^31 ≤ 258 × 8 355 840
    EXPECT_EQ(back->times[2], 16711680);
    for (int32_t i = 1; i < dots; ++i) ASSERT_GT(back->times[static_cast<size_t>(i)], 0);
}

TEST(OlderTypes, Type82OneByteStatusRuns) {
    // 0xE3: the next three dots get status 1; long forms as in the newest type.
    Bytes image = oldTypeImage(
        0x82, {0x80, 0x64, 0xE3, 0x0A, 0xA0, 0x23, 0x28, 0x7F, 0xC0, 0x00, 0x00, 0x01});
    auto back = std::make_unique<DotStore>();
    ASSERT_EQ(decodeSequenceImage(image, *back), 6);
    EXPECT_EQ(timesOf(*back), (std::vector<int32_t>{0, 100, 210, 9210, 18209, 18210}));
    EXPECT_EQ(back->status[1], 254);
    EXPECT_EQ(
        (std::vector<int>{back->status[2], back->status[3], back->status[4], back->status[5]}),
        (std::vector<int>{1, 1, 1, 0}));
}

TEST(OlderTypes, Type83TwoByteStatusRunsWithValue) {
    Bytes image =
        oldTypeImage(0x83, {0x80, 0x64, 0xE6, 0x02, 0x0A, 0x0A, 0x0A, 0xFF, 0x01, 0x0A}, 20, 50000);
    auto back = std::make_unique<DotStore>();
    ASSERT_EQ(decodeSequenceImage(image, *back), 6);
    // Timing value 50 000: 100 → 50, 110 → 55, 120 → 60, 130 → 65, 140 → 70.
    EXPECT_EQ(timesOf(*back), (std::vector<int32_t>{0, 50, 105, 165, 230, 300}));
    EXPECT_EQ(
        (std::vector<int>{back->status[2], back->status[3], back->status[4], back->status[5]}),
        (std::vector<int>{2, 2, 0, 3}));
}

TEST(SequenceFrequencies, RatioOverTheSpanOfTwoIntervals) {
    auto store = storeFromIntervals({10, 38, 10, 1014, 10, 11990, 11, 11990}, 16);
    decodeSequenceImage(encode(*store), *store);
    store->frequency.fill(-1);
    computeDotFrequencies(*store);
    // Spans: 48, 48, 1024, 1024, 12000, 12001, 12001.
    EXPECT_EQ(store->frequency[0], 0);
    EXPECT_EQ(store->frequency[1], 0);
    EXPECT_EQ(store->frequency[2], 333333333);  // 16e9 / 48
    EXPECT_EQ(store->frequency[3], 333333333);
    EXPECT_EQ(store->frequency[4], 15625000);
    EXPECT_EQ(store->frequency[6], 1333333);
    EXPECT_EQ(store->frequency[7], 0);
    EXPECT_EQ(store->frequency[8], 0);
    EXPECT_EQ(store->frequency[9], -1);  // beyond the count

    auto half = storeFromIntervals({1000, 24, 23}, 1);  // 1e9 / 1024 = 976 562.5; span 47
    computeDotFrequencies(*half);
    EXPECT_EQ(half->frequency[2], 976563);
    EXPECT_EQ(half->frequency[3], 0);

    auto top = storeFromIntervals({24, 24}, 64);
    computeDotFrequencies(*top);
    EXPECT_EQ(top->frequency[2], 1333333333);
}

TEST(SequenceFrequencies, ExactForEveryRatioAndSpan) {
    // Every span a frequency is defined for, with every ratio, against the integer rule
    // ⌊(2 × ratio × 10^9 + s) / 2s⌋, plus spans just outside and backwards.
    std::vector<int32_t> spans;
    for (int32_t s = 48; s <= 12000; ++s) spans.push_back(s);
    spans.insert(spans.end(), {47, 12001, 0, 1, -5, 100000});
    auto store = std::make_unique<DotStore>();
    store->count = static_cast<int32_t>(spans.size()) + 2;
    for (size_t i = 0; i < spans.size(); ++i) store->times[i + 2] = store->times[i] + spans[i];
    for (int32_t ratio = 1; ratio <= 64; ++ratio) {
        store->divisionRatio = ratio;
        computeDotFrequencies(*store);
        for (size_t i = 0; i < spans.size(); ++i) {
            const int64_t s = spans[i];
            const int64_t expected =
                s >= 48 && s <= 12000 ? (2 * ratio * int64_t{1000000000} + s) / (2 * s) : 0;
            ASSERT_EQ(store->frequency[i + 2], expected) << "ratio " << ratio << " span " << s;
        }
    }
}

TEST(SequenceHeader, ReadsStartTimeAndPositionOfNewFilesOnly) {
    SequenceStartTime start =
        SequenceStartTime::fromJulian(JulianTime::fromDateTime(2026, 12, 8, 23, 59, 59, 999999));
    EXPECT_EQ(start.hundredths, 99);
    EXPECT_EQ(start.remainder, 9999);
    EXPECT_EQ(start.microsecond(), 999999);
    PositionBlock position = PositionBlock::build(1, -33.8688, 151.2093, 58);
    SequenceFileHeader header;
    ASSERT_TRUE(readSequenceHeader(encode(*storeFromIntervals({5}), start, position), header));
    EXPECT_EQ(header.type, 0x84);
    EXPECT_TRUE(header.hasStartTime);
    EXPECT_EQ(header.start, start);
    EXPECT_EQ(header.position, position);

    ASSERT_TRUE(readSequenceHeader(oldTypeImage(0x82, {}), header));
    EXPECT_FALSE(header.hasStartTime);
    EXPECT_TRUE(header.position.isEmpty());
    EXPECT_EQ(header.dataOffset, 288);

    EXPECT_EQ(SequenceStartTime::fromJulian(JulianTime::invalid()), SequenceStartTime{});
}

TEST(PositionBlockText, ModeOneFields) {
    EXPECT_EQ(PositionBlock::build(1, -33.8688, 151.2093, 58).text(),
              "WGS84     S3386880 E15120930  58");
    EXPECT_EQ(PositionBlock::build(1, 0.000005, -0.000004, -12).text(),
              "WGS84     N0000001 W00000000 -12");
    EXPECT_EQ(PositionBlock::build(1, 48.1173, 11.516667, 545, "ED50").text(),
              "ED50      N4811730 E01151667 545");
    EXPECT_EQ(PositionBlock::build(1, 1, 2, 3, "A-VERY-LONG-DATUM").text().substr(0, 11),
              "A-VERY-LONN");
}

TEST(PositionBlockText, ValuesBeyondTheFieldsAreClampedToThem) {
    // A latitude of 123.456° needs eight digits, an altitude of 12 345 m five characters,
    // and an unreported altitude (-1000) five as well: none may spill out of the 32 bytes.
    PositionBlock block = PositionBlock::build(1, 123.456, -1234.5, 12345);
    EXPECT_EQ(block.text(), "WGS84     N9999999 W999999999999");
    EXPECT_EQ(PositionBlock::build(1, 1e300, 0, -1000).text(), "WGS84     N9999999 E00000000-999");
}

TEST(PositionBlockText, NoPosition) {
    EXPECT_TRUE(PositionBlock::build(0, 10, 10, 10).isEmpty());
    EXPECT_TRUE(PositionBlock::build(2, 10, 10, 10).isEmpty());
    EXPECT_TRUE(PositionBlock::build(1, std::nan(""), 10, 10).isEmpty());
    EXPECT_TRUE(PositionBlock::build(1, 10, INFINITY, 10).isEmpty());
    EXPECT_FALSE(PositionBlock::build(1, 0, 0, 0).isEmpty());
    std::array<uint8_t, 32> raw{};
    raw[3] = 0x07;
    raw[4] = 'x';
    EXPECT_EQ(PositionBlock::fromBytes(raw).text().substr(0, 6),
              "???"
              "?x?");
}

}  // namespace

TEST(PositionBlockText, DecodesWhatWasBuiltAndRefusesTheRest) {
    double lat = 0, lon = 0;
    int32_t alt = 0;
    ASSERT_TRUE(PositionBlock::build(1, -33.8688, 151.2093, 58).decode(lat, lon, alt));
    EXPECT_DOUBLE_EQ(lat, -33.8688);
    EXPECT_DOUBLE_EQ(lon, 151.2093);
    EXPECT_EQ(alt, 58);
    ASSERT_TRUE(PositionBlock::build(1, 0.5, -0.25, -999).decode(lat, lon, alt));
    EXPECT_DOUBLE_EQ(lat, 0.5);
    EXPECT_DOUBLE_EQ(lon, -0.25);
    EXPECT_EQ(alt, -999);
    EXPECT_FALSE(PositionBlock().decode(lat, lon, alt));
    // Clamped fields say only that the value did not fit.
    EXPECT_FALSE(PositionBlock::build(1, 123.456, 1, 1).decode(lat, lon, alt));
    std::array<uint8_t, 32> raw{};
    const std::string text = "WGS84     N4811730 E0115x667 545";
    std::copy(text.begin(), text.end(), raw.begin());
    EXPECT_FALSE(PositionBlock::fromBytes(raw).decode(lat, lon, alt));
}
