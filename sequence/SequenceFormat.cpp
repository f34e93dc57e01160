#include "sequence/SequenceFormat.h"

#include <algorithm>
#include <climits>
#include <cstring>

using namespace seqformat;

namespace {

constexpr size_t kTextStart = 6;
constexpr size_t kTextEnd = 281;  // one past the last text byte
constexpr size_t kStartTimeOffset = 288;
constexpr size_t kPositionOffset = 304;
constexpr uint8_t kParameterMark = 'R';

uint16_t word(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void putWord(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

template <size_t N>
void putText(uint8_t* image, size_t offset, const std::array<char, N>& field) {
    std::memcpy(image + offset, field.data(), N);
}

// The interval a file's timing value stands for, in microseconds of the nominal clock:
// ⌊d × 25 000 / T + ½⌋, done in integers so that exact halves always round up.
int64_t scaledInterval(int64_t d, int64_t timing) {
    if (timing == kNominalTiming) return d;
    return (d * 2 * kNominalTiming + timing) / (2 * timing);
}

// A delta code: the low seven bits as a signed number.
int32_t deltaOf(uint8_t code) {
    return (code & 0x40) ? static_cast<int32_t>(code) - 128 : code;
}

void setStatusRun(DotStore& store, int32_t firstDot, int32_t length, uint8_t value) {
    const int32_t end = std::min(firstDot + length, DotStore::kCapacity);
    for (int32_t k = firstDot; k < end; ++k) store.status[static_cast<size_t>(k)] = value;
}

// A start time a recorder can have written: all zero (its clock had no calendar date) or a
// real date and time of day. Anything else is damage, and showing it would put an impossible
// date on the file.
bool isPossibleStart(const SequenceStartTime& s) {
    if (s == SequenceStartTime{}) return true;
    if (s.hour > 23 || s.minute > 59 || s.second > 59 || s.hundredths > 99 || s.remainder > 9999) {
        return false;
    }
    // The calendar decides which days a month has (29 February, the days the calendar reform
    // skipped): a date is real when it comes back unchanged from the day it stands for.
    const JulianTime day = JulianTime::fromDate(s.year, s.month, s.day);
    int32_t year = 0, month = 0, dayOfMonth = 0;
    return day.isValid() && day.dateFields(year, month, dayOfMonth) && year == s.year &&
           month == s.month && dayOfMonth == s.day;
}

}  // namespace

SequenceStartTime SequenceStartTime::fromJulian(JulianTime time) {
    SequenceStartTime s;
    int32_t year = 0, month = 0, day = 0;
    if (!time.isValid() || !time.dateFields(year, month, day) || year < 0 || year > 0xFFFF) {
        return s;
    }
    int32_t hour = 0, minute = 0, second = 0, micro = 0;
    time.timeFields(hour, minute, second, micro);
    s.year = static_cast<uint16_t>(year);
    s.month = static_cast<uint8_t>(month);
    s.day = static_cast<uint8_t>(day);
    s.hour = static_cast<uint8_t>(hour);
    s.minute = static_cast<uint8_t>(minute);
    s.second = static_cast<uint8_t>(second);
    s.hundredths = static_cast<uint8_t>(micro / 10000);
    s.remainder = static_cast<uint16_t>(micro - s.hundredths * 10000);
    return s;
}

bool readSequenceHeader(std::span<const uint8_t> image, SequenceFileHeader& header) {
    const size_t length = std::min(image.size(), kMaxFileSize);
    if (length < kMinFileSize) return false;
    const uint8_t* p = image.data();
    const uint8_t type = p[3];
    if (type < kType81 || type > kType84) return false;
    // A file cut off inside its parameter block or its start-time and position fields has
    // lost the values the checks below need; it is as corrupt as a short one.
    if (length < kDataOffsetOld) return false;
    if (word(p) != kParameterOffset) return false;
    const uint16_t timing = word(p + 284);
    if (timing < kMinTiming || timing > kMaxTiming) return false;
    const uint8_t ratio = p[286];
    if (ratio == 0 || ratio > kMaxRatio) return false;
    const uint16_t dataOffset = word(p + 282);
    if (dataOffset != (type == kType84 ? kDataOffset84 : kDataOffsetOld)) return false;
    if (length < dataOffset) return false;
    SequenceStartTime start;
    if (type == kType84) {
        const uint8_t* t = p + kStartTimeOffset;
        start.year = word(t);
        start.month = t[2];
        start.day = t[3];
        start.hour = t[4];
        start.minute = t[5];
        start.second = t[6];
        start.hundredths = t[7];
        start.remainder = word(t + 8);
        if (!isPossibleStart(start)) return false;
    }

    header = SequenceFileHeader{};
    header.type = type;
    header.dataOffset = dataOffset;
    header.timingValue = timing;
    header.divisionRatio = ratio;
    if (type == kType84) {
        header.hasStartTime = true;
        header.start = start;
        header.position = PositionBlock::fromBytes(std::span<const uint8_t, PositionBlock::kSize>(
            p + kPositionOffset, PositionBlock::kSize));
    }
    return true;
}

size_t encodeSequenceImage(const DotStore& store, const SequenceHeaderText& header,
                           const SequenceStartTime& start, const PositionBlock& position,
                           std::span<uint8_t> out) {
    if (out.size() < kMaxFileSize) return 0;
    uint8_t* p = out.data();
    std::memset(p, 0, kDataOffset84);

    p[0] = 0x1A;
    p[1] = 0x01;
    p[3] = kType84;
    putText(p, 6, header.tape);
    putText(p, 14, header.date);
    putText(p, 22, header.location);
    putText(p, 62, header.species);
    putText(p, 112, header.specificationText);
    putText(p, 128, header.note1);
    putText(p, 201, header.note2);
    for (size_t i = kTextStart; i < kTextEnd; ++i) {
        uint8_t b = p[i] & 0x7F;
        p[i] = b == 0 ? ' ' : b;
    }

    putWord(p + 282, kDataOffset84);
    putWord(p + 284, kNominalTiming);
    // A ratio the reader would reject would make the whole recording unreadable.
    p[286] = static_cast<uint8_t>(std::clamp(store.divisionRatio, 1, kMaxRatio));
    p[287] = kParameterMark;

    uint8_t* t = p + kStartTimeOffset;
    putWord(t, start.year);
    t[2] = start.month;
    t[3] = start.day;
    t[4] = start.hour;
    t[5] = start.minute;
    t[6] = start.second;
    t[7] = start.hundredths;
    putWord(t + 8, start.remainder);
    std::memcpy(p + kPositionOffset, position.bytes().data(), PositionBlock::kSize);

    // Each code is written only if it ends within kMaxWrittenSize; the first that does not
    // fit ends the data, so what is written always decodes to a prefix of the sequence.
    const int32_t count = std::clamp(store.count, 0, DotStore::kCapacity);
    size_t pos = kDataOffset84;
    int64_t previous = 0;
    for (int32_t i = 1; i < count; ++i) {
        const int64_t interval = static_cast<int64_t>(store.times[static_cast<size_t>(i)]) -
                                 store.times[static_cast<size_t>(i - 1)];
        if (interval < 0 || interval > kMaxInterval) break;
        const int64_t delta = interval - previous;
        const uint32_t v = static_cast<uint32_t>(interval);
        if (delta >= -64 && delta <= 63) {
            if (pos + 1 > kMaxWrittenSize) break;
            p[pos++] = static_cast<uint8_t>(delta & 0x7F);
        } else if (v <= 0x1FFF) {
            if (pos + 2 > kMaxWrittenSize) break;
            p[pos] = static_cast<uint8_t>(0x80 | (v >> 8));
            p[pos + 1] = static_cast<uint8_t>(v);
            pos += 2;
        } else if (v <= 0x1FFFFF) {
            if (pos + 3 > kMaxWrittenSize) break;
            p[pos] = static_cast<uint8_t>(0xA0 | (v >> 16));
            p[pos + 1] = static_cast<uint8_t>(v >> 8);
            p[pos + 2] = static_cast<uint8_t>(v);
            pos += 3;
        } else {
            if (pos + 4 > kMaxWrittenSize) break;
            p[pos] = static_cast<uint8_t>(0xC0 | (v >> 24));
            p[pos + 1] = static_cast<uint8_t>(v >> 16);
            p[pos + 2] = static_cast<uint8_t>(v >> 8);
            p[pos + 3] = static_cast<uint8_t>(v);
            pos += 4;
        }
        previous = interval;
    }
    return pos;
}

std::vector<uint8_t> encodeSequenceImage(const DotStore& store, const SequenceHeaderText& header,
                                         const SequenceStartTime& start,
                                         const PositionBlock& position) {
    std::vector<uint8_t> image(kMaxFileSize);
    image.resize(encodeSequenceImage(store, header, start, position, image));
    return image;
}

namespace {

// Types 0x82 to 0x84: 2-, 3- and 4-byte absolute codes, status runs from 0xE0 (two bytes
// with a status value from type 0x83 on, one byte of status 1 in type 0x82), at most
// 16 383 intervals and 15 seconds.
struct NewerDecoder {
    const uint8_t* data;
    size_t pos;
    size_t end;
    uint8_t type;
    int64_t timing;
    DotStore& store;
    int32_t dots = 1;
    int64_t d = 0;    // the running interval, unscaled
    int64_t sum = 0;  // the time of the newest dot

    // Decodes one code. False when the data ends here: a code that runs past the end, an
    // interval that would run backwards, or a time beyond the 15 seconds. kChecked is off
    // only while at least four bytes are left, so no code can run past the end.
    template <bool kNominal, bool kChecked>
    bool step() {
        const uint8_t b = data[pos];
        if (b < 0x80) {
            d += deltaOf(b);
            pos += 1;
            // Intervals cannot run backwards; deltas that claim so are damage, not data.
            if (d < 0) return false;
        } else if (b < 0xA0) {
            if (kChecked && end - pos < 2) return false;
            d = ((b & 0x1F) << 8) | data[pos + 1];
            pos += 2;
        } else if (b < 0xC0) {
            if (kChecked && end - pos < 3) return false;
            d = ((b & 0x1F) << 16) | (data[pos + 1] << 8) | data[pos + 2];
            pos += 3;
        } else if (b < 0xE0) {
            if (kChecked && end - pos < 4) return false;
            d = (static_cast<int64_t>(b & 0x1F) << 24) | (data[pos + 1] << 16) |
                (data[pos + 2] << 8) | data[pos + 3];
            pos += 4;
        } else {
            if (type == kType82) {
                setStatusRun(store, dots, b - 224, 1);
                pos += 1;
            } else {
                if (kChecked && end - pos < 2) return false;
                setStatusRun(store, dots, data[pos + 1], b & 3);
                pos += 2;
            }
            return true;
        }
        sum += kNominal ? d : scaledInterval(d, timing);
        if (sum > kMaxSequenceTime) return false;
        store.times[static_cast<size_t>(dots++)] = static_cast<int32_t>(sum);
        return true;
    }

    // A full file holds some 16 000 codes and is decoded every time the user steps to it.
    template <bool kNominal>
    int32_t run() {
        while (end - pos >= 4 && dots < DotStore::kCapacity) {
            if (!step<kNominal, false>()) return dots;
        }
        while (pos < end && dots < DotStore::kCapacity) {
            if (!step<kNominal, true>()) return dots;
        }
        return dots;
    }
};

// Type 0x81: 11-bit mantissa and 4-bit exponent codes, one-byte status runs; no time limit
// of its own, but never beyond what a 32-bit time can hold.
int32_t decodeType81Data(const uint8_t* data, size_t pos, size_t end, int64_t timing,
                         DotStore& store) {
    int32_t dots = 1;
    int64_t d = 0;
    int64_t sum = 0;
    while (pos < end) {
        const uint8_t b = data[pos];
        if (b < 0x80) {
            d += deltaOf(b);
            pos += 1;
        } else if (b <= 0xF8) {
            if (end - pos < 2) break;
            const int64_t mantissa = ((b & 0x07) << 8) | data[pos + 1];
            d = mantissa << ((b >> 3) & 0x0F);
            pos += 2;
        } else {
            setStatusRun(store, dots, b - 248, 1);
            pos += 1;
            continue;
        }
        if (d < 0) break;
        const int64_t interval = scaledInterval(d, timing);
        if (sum + interval > INT32_MAX) break;
        sum += interval;
        store.times[static_cast<size_t>(dots++)] = static_cast<int32_t>(sum);
        if (dots == DotStore::kCapacity) break;
    }
    return dots;
}

}  // namespace

int32_t decodeSequenceImage(std::span<const uint8_t> image, DotStore& store) {
    SequenceFileHeader header;
    if (!readSequenceHeader(image, header)) return 0;
    const size_t end = std::min(image.size(), kMaxFileSize);

    std::fill(store.status.begin(), store.status.end(), uint8_t{0});
    store.times[0] = 0;
    store.status[0] = kStatusStart;
    store.status[1] = kStatusStart;
    const uint8_t* data = image.data();
    int32_t dots = 0;
    if (header.type == kType81) {
        dots = decodeType81Data(data, header.dataOffset, end, header.timingValue, store);
    } else {
        NewerDecoder decoder{data, header.dataOffset, end, header.type, header.timingValue, store};
        dots = header.timingValue == kNominalTiming ? decoder.run<true>() : decoder.run<false>();
    }
    store.count = dots;
    store.divisionRatio = header.divisionRatio;
    store.timingValue = kNominalTiming;
    return dots;
}

void computeDotFrequencies(DotStore& store) {
    const int32_t count = std::clamp(store.count, 0, DotStore::kCapacity);
    if (count > 0) store.frequency[0] = 0;
    if (count > 1) store.frequency[1] = 0;
    // Spans of 48 µs and up keep the quotient within 32 bits for every ratio up to 64. The
    // quotient of two exact doubles is correctly rounded, and one that is not exactly k + ½
    // lies at least 1/(2 × 12 000) from the rounding boundary, so the double arithmetic rounds
    // exactly as the integer rule would.
    const double numerator =
        static_cast<double>(std::clamp(store.divisionRatio, 1, kMaxRatio)) * 1e9;
    const int32_t* times = store.times.data();
    int32_t* frequency = store.frequency.data();
    // Branch-free so that the compiler runs the divisions side by side. The span is formed
    // with wrap-around, which can only matter for times that run backwards by nearly 2^32 µs
    // (no decoded store holds such), and clamped before dividing.
    for (int32_t i = 2; i < count; ++i) {
        const auto span = static_cast<int32_t>(static_cast<uint32_t>(times[i]) -
                                               static_cast<uint32_t>(times[i - 2]));
        const int32_t inRange = static_cast<uint32_t>(span) - 48u <= 12000u - 48u;
        const int32_t clamped = std::min(std::max(span, 48), 12000);
        const auto f = static_cast<int32_t>(numerator / static_cast<double>(clamped) + 0.5);
        frequency[i] = f & -inRange;
    }
}
