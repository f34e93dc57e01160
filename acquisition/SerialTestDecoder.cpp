#include "acquisition/SerialTestDecoder.h"

namespace acquisition {

namespace {
constexpr uint8_t kEscape = 0x80;
}

void SerialTestDecoder::Reset() {
    value_ = 0;
    last_ = 0;
    secondLast_ = 0;
}

int32_t SerialTestDecoder::Next(uint8_t b) {
    if (inMessage_) {
        if (b == 0x00) {
            inMessage_ = false;
            return kMessageEnd;
        }
        return kMessageByte + b;
    }
    if (b == kEscape) {
        const bool overflow = last_ == kEscape && secondLast_ == kEscape;
        const bool marker = secondLast_ == kEscape && last_ == 0xFF;
        shiftIn(b);
        // The value being assembled survives an escape; the next value start reports it.
        if (!overflow && !marker) return kNothing;
        // The sequence's last escape begins nothing: after the stream resumes, a first byte
        // of 0x81 or 0xFF is a value, and taken as a message start it would swallow every
        // interval up to the next zero byte.
        last_ = secondLast_ = 0;
        return overflow ? kOverflow : kMarker;
    }
    if (last_ == kEscape && b == 0x81) {
        inMessage_ = true;
        shiftIn(b);
        return kMessageStart;
    }
    if (last_ == kEscape && b == 0xFF) {
        shiftIn(b);
        return kNothing;
    }
    const auto report = static_cast<int32_t>(value_);
    if ((b & 0x80) != 0) {
        value_ = b & 0x7Fu;
        shift_ = 7;
        shiftIn(b);
        return report;
    }
    if (last_ == kEscape) {
        // The 0x80 began a value whose lowest seven bits are zero.
        value_ = uint32_t{b} << 7;
        shift_ = 14;
        shiftIn(b);
        return report;
    }
    if (shift_ < 32) {
        value_ += uint32_t{b} << shift_;
        shift_ += 7;
    }
    shiftIn(b);
    return kNothing;
}

}  // namespace acquisition
