#include <gtest/gtest.h>

#include <random>

#include "SequenceTestData.h"
#include "sequence/SequenceFormat.h"

// Any byte string at all must decode without touching memory outside the image and the store,
// and what is decoded must be a usable sequence. Images live in vectors of their exact size so
// that the address sanitizer sees every read past the end; sentinels around the store's arrays
// catch writes that stay inside the object.

namespace {

using Bytes = std::vector<uint8_t>;

struct GuardedStore {
    int32_t before = 0x5A5A5A5A;
    DotStore store;
    int32_t after = 0x5A5A5A5A;
};

void checkDecode(const Bytes& built, GuardedStore& g, std::mt19937& rng) {
    // A copy holds exactly its bytes: a vector that grew may have room behind its end that
    // the sanitizer would not flag.
    const Bytes image(built.begin(), built.end());
    g.store.count = 3;
    g.store.frequency.fill(-7);
    const int32_t dots = decodeSequenceImage(image, g.store);
    ASSERT_EQ(g.before, 0x5A5A5A5A);
    ASSERT_EQ(g.after, 0x5A5A5A5A);
    ASSERT_EQ(g.store.frequency[0], -7);  // the decoder never writes frequencies
    ASSERT_EQ(g.store.frequency[DotStore::kCapacity - 1], -7);
    if (dots == 0) {
        ASSERT_EQ(g.store.count, 3);
        return;
    }
    ASSERT_GE(dots, 1);
    ASSERT_LE(dots, DotStore::kCapacity);
    ASSERT_EQ(g.store.count, dots);
    ASSERT_GE(g.store.divisionRatio, 1);
    ASSERT_LE(g.store.divisionRatio, 64);
    ASSERT_EQ(g.store.times[0], 0);
    for (int32_t i = 1; i < dots; ++i) {
        ASSERT_GE(g.store.times[static_cast<size_t>(i)], g.store.times[static_cast<size_t>(i - 1)]);
    }
    if (image.size() > 3 && image[3] != seqformat::kType81) {
        ASSERT_LE(g.store.times[static_cast<size_t>(dots - 1)], seqformat::kMaxSequenceTime);
    }
    computeDotFrequencies(g.store);
    ASSERT_EQ(g.after, 0x5A5A5A5A);
    for (int32_t i = 0; i < dots; ++i) ASSERT_GE(g.store.frequency[static_cast<size_t>(i)], 0);
    // The same bytes with anything appended beyond the reader's limit decode the same way.
    if (image.size() == seqformat::kMaxFileSize && rng() % 4 == 0) {
        Bytes longer = image;
        longer.resize(longer.size() + 100, 0x80);
        const int32_t again = decodeSequenceImage(longer, g.store);
        ASSERT_EQ(again, dots);
    }
}

Bytes randomBytes(std::mt19937& rng, size_t length) {
    Bytes b(length);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
}

// A header that passes the checks, of a random type, with random data behind it: this is
// where the decoder's paths are, since random headers are almost all rejected at once.
Bytes plausibleImage(std::mt19937& rng, size_t dataLength) {
    static const uint8_t kTypes[] = {0x81, 0x82, 0x83, 0x84};
    const uint8_t type = kTypes[rng() % 4];
    Bytes image = seqtest::encode(*seqtest::storeFromIntervals({}));
    if (type != 0x84) {
        image = seqtest::oldTypeImage(type, {}, static_cast<uint8_t>(1 + rng() % 64),
                                      static_cast<uint16_t>(10000 + rng() % 50001));
    } else {
        const uint16_t timing = static_cast<uint16_t>(10000 + rng() % 50001);
        image[284] = static_cast<uint8_t>(timing & 0xFF);
        image[285] = static_cast<uint8_t>(timing >> 8);
    }
    // Codes of every kind with small values, so that decoding runs on to the end of the data
    // (where the last code is cut at a random byte) instead of stopping at the 15 seconds;
    // now and then a byte is anything at all.
    Bytes data;
    while (data.size() < dataLength) {
        const uint8_t v = static_cast<uint8_t>(rng() % 200);
        switch (rng() % 8) {
            case 0:
                data.push_back(static_cast<uint8_t>(rng() % 4));
                break;
            case 1:
                data.push_back(static_cast<uint8_t>(0x7C + rng() % 4));
                break;
            case 2:
                data.insert(data.end(), {static_cast<uint8_t>(0x80 + rng() % 4), v});
                break;
            case 3:
                data.insert(data.end(), {0xA0, 0x00, v});
                break;
            case 4:
                data.insert(data.end(), {0xC0, 0x00, 0x00, v});
                break;
            case 5:
                data.insert(data.end(), {static_cast<uint8_t>(0xE0 + rng() % 32), v});
                break;
            case 6:
                data.push_back(static_cast<uint8_t>(0xF9 + rng() % 7));
                break;
            default:
                data.push_back(static_cast<uint8_t>(rng()));
                break;
        }
    }
    data.resize(dataLength);
    image.insert(image.end(), data.begin(), data.end());
    return image;
}

void mutate(Bytes& image, std::mt19937& rng) {
    switch (rng() % 4) {
        case 0:
            for (int flips = 1 + static_cast<int>(rng() % 8); flips > 0 && !image.empty();
                 --flips) {
                image[rng() % image.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
            }
            break;
        case 1:
            image.resize(rng() % (image.size() + 1));
            break;
        case 2: {
            Bytes tail = randomBytes(rng, rng() % 3000);
            image.insert(image.end(), tail.begin(), tail.end());
            break;
        }
        default:
            if (!image.empty()) image[rng() % image.size()] = static_cast<uint8_t>(rng());
            break;
    }
}

TEST(SequenceDecodeFuzz, RandomByteStringsOfAnyLength) {
    std::mt19937 rng(1);
    auto g = std::make_unique<GuardedStore>();
    for (int i = 0; i < 2000; ++i) {
        const size_t length = i < 1500 ? rng() % 400 : rng() % 40001;
        Bytes image = randomBytes(rng, length);
        if (i % 2 && image.size() >= 4) image[3] = static_cast<uint8_t>(0x81 + rng() % 4);
        checkDecode(image, *g, rng);
        SequenceFileHeader header;
        readSequenceHeader(image, header);
    }
}

TEST(SequenceDecodeFuzz, RandomDataBehindValidHeaders) {
    std::mt19937 rng(2);
    auto g = std::make_unique<GuardedStore>();
    for (int i = 0; i < 300; ++i) {
        const size_t length = i % 10 == 0 ? 32768 - 288 + rng() % 2000 : rng() % 33000;
        checkDecode(plausibleImage(rng, length), *g, rng);
    }
}

TEST(SequenceDecodeFuzz, RealFilesFlippedCutAndExtended) {
    std::mt19937 rng(3);
    auto g = std::make_unique<GuardedStore>();
    std::vector<Bytes> originals;
    for (size_t length : {size_t{10}, size_t{3000}, size_t{16383}}) {
        auto store = seqtest::storeFromIntervals(seqtest::randomIntervals(rng, length));
        originals.push_back(seqtest::encode(
            *store, SequenceStartTime::fromJulian(JulianTime::fromDateTime(2020, 5, 6, 7, 8, 9, 0)),
            PositionBlock::build(1, 12.5, -3.25, 100)));
    }
    originals.push_back(seqtest::oldTypeImage(0x81, randomBytes(rng, 5000)));
    for (int i = 0; i < 1500; ++i) {
        Bytes image = originals[rng() % originals.size()];
        for (int m = 1 + static_cast<int>(rng() % 3); m > 0; --m) mutate(image, rng);
        checkDecode(image, *g, rng);
    }
}

// Whether the fields are a date and time a recorder can have written: all zero, or a day of
// the calendar (Julian before 1583 as far as 29 February goes) and a time of day.
bool isRealStart(const SequenceStartTime& t) {
    if (t == SequenceStartTime{}) return true;
    const int y = t.year;
    const bool leap = y < 1583 ? y % 4 == 0 : (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.month < 1 || t.month > 12 || t.day < 1) return false;
    if (t.day > kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0)) return false;
    return t.hour < 24 && t.minute < 60 && t.second < 60 && t.hundredths < 100 &&
           t.remainder < 10000;
}

TEST(SequenceDecodeFuzz, EveryValueOfEachStartTimeByte) {
    auto g = std::make_unique<GuardedStore>();
    std::mt19937 rng(4);
    auto store = seqtest::storeFromIntervals({100, 200, 300});
    for (const SequenceStartTime& base :
         {SequenceStartTime::fromJulian(JulianTime::fromDateTime(2020, 2, 29, 23, 59, 59, 999999)),
          SequenceStartTime::fromJulian(JulianTime::fromDateTime(2011, 12, 31, 0, 0, 0, 0)),
          SequenceStartTime{}}) {
        const Bytes original = seqtest::encode(*store, base);
        for (size_t offset = 288; offset < 298; ++offset) {
            for (int v = 0; v < 256; ++v) {
                Bytes image = original;
                image[offset] = static_cast<uint8_t>(v);
                SequenceFileHeader header;
                const bool accepted = readSequenceHeader(image, header);
                SequenceStartTime t;
                t.year = static_cast<uint16_t>(image[288] | image[289] << 8);
                t.month = image[290];
                t.day = image[291];
                t.hour = image[292];
                t.minute = image[293];
                t.second = image[294];
                t.hundredths = image[295];
                t.remainder = static_cast<uint16_t>(image[296] | image[297] << 8);
                ASSERT_EQ(accepted, isRealStart(t)) << "offset " << offset << " value " << v;
                checkDecode(image, *g, rng);
                ASSERT_EQ(g->store.count == 4, accepted) << "offset " << offset << " value " << v;
            }
        }
    }
}

TEST(SequenceDecodeFuzz, EveryStartTimeARecorderWritesIsRead) {
    std::mt19937_64 rng(5);
    auto store = seqtest::storeFromIntervals({100});
    const int64_t first = JulianTime::fromDate(1, 1, 1).value();
    const int64_t span = JulianTime::fromDate(9999, 12, 31).value() - first;
    SequenceFileHeader header;
    for (int i = 0; i < 20000; ++i) {
        // The calendar reform's last Julian day and no date at all among them.
        const JulianTime t = i == 0   ? JulianTime::fromDate(1582, 10, 4)
                             : i == 1 ? JulianTime::invalid()
                                      : JulianTime(first + static_cast<int64_t>(rng() % span));
        ASSERT_TRUE(
            readSequenceHeader(seqtest::encode(*store, SequenceStartTime::fromJulian(t)), header))
            << t.value();
    }
}

}  // namespace
