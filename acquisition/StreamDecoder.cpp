#include "acquisition/StreamDecoder.h"

#include "acquisition/CommFile.h"

namespace acquisition {

namespace {
// Groups beyond the 32 bits of a value add nothing; the shift is held here so that an
// endless run of continuation bytes cannot overflow it.
constexpr int32_t kShiftCap = 35;
}  // namespace

void StreamDecoder::reset() {
    value_ = 0;
    inMessage_ = 0;
    last_ = 0;
    secondLast_ = 0;
    thirdLast_ = 0;
}

int32_t StreamDecoder::feed(uint8_t byte) {
    const uint32_t b = byte;
    if (inMessage_) {
        if (b == 0) {
            inMessage_ = 0;
            return kMessageEnd;
        }
        return static_cast<int32_t>(0x80000000u + b);
    }
    const uint32_t p1 = last_;
    const uint32_t p2 = secondLast_;
    if (b & 0x80u) {
        if (b == 0x80u) {
            if (p2 == 0x80u && p1 == 0x80u) {
                last_ = secondLast_ = thirdLast_ = 0;
                return kOverflow;
            }
            if (p2 == 0x80u && p1 == 0xFFu) {
                // The history goes back to the byte before the escape, so that the value in
                // progress continues as if the marker had not been there.
                last_ = thirdLast_;
                secondLast_ = thirdLast_ = 0;
                return kMarker;
            }
            shiftIn(b);  // held back until the next byte shows what it was
            return kIncomplete;
        }
        if (p1 == 0x80u) {
            if (b == 0x81u) {
                last_ = thirdLast_;
                secondLast_ = thirdLast_ = 0;
                inMessage_ = 1;
                return kMessageStart;
            }
            if (b == 0xFFu) {
                shiftIn(b);
                return kIncomplete;
            }
            // 0x80 then another first byte: malformed, the value in progress is dropped.
            value_ = b & 0x7Fu;
            shift_ = 7;
            shiftIn(b);
            return kNothing;
        }
        const uint32_t completed = value_;
        value_ = b & 0x7Fu;
        shift_ = 7;
        shiftIn(b);
        return static_cast<int32_t>(completed);
    }
    if (p2 == 0x80u && (p1 == 0x80u || p1 == 0xFFu)) {
        // The byte before was the first byte of a new value after all.
        value_ = (p1 & 0x7Fu) + b * 128u;
        shift_ = 14;
        shiftIn(b);
        return kNothing;
    }
    if (p1 == 0x80u) {
        // The held-back 0x80 began a new value whose low seven bits are 0.
        const uint32_t completed = value_;
        value_ = b * 128u;
        shift_ = 14;
        shiftIn(b);
        return static_cast<int32_t>(completed);
    }
    if (shift_ >= 0 && shift_ < 32) value_ += b << shift_;
    shift_ = shift_ + 7 > kShiftCap ? kShiftCap : shift_ + 7;
    shiftIn(b);
    return kIncomplete;
}

int32_t StreamDecoder::finish() {
    // A held-back 0x80 or an unfinished escape is no value of its own; the value before it
    // is complete either way.
    const uint32_t completed = value_;
    reset();
    return static_cast<int32_t>(completed);
}

int32_t StreamDecoder::next(CommFile& port) {
    const int32_t byte = port.ComGetByte();
    if (byte < 0) return kNoData;
    return feed(static_cast<uint8_t>(byte));
}

}  // namespace acquisition
