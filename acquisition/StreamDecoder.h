#pragma once
#include <cstdint>

namespace acquisition {

class CommFile;

// Decodes the module's stream after 'G': intervals in microseconds as 7-bit groups, least
// significant first, the first byte of each value with bit 7 set, and the escapes
// 0x80 0x80 0x80 (overflow), 0x80 0xFF 0x80 (marker) and 0x80 0x81 ... 0x00 (message).
// One result per byte. A value is reported one value late, when the next value begins.
class StreamDecoder {
  public:
    // Results other than a completed value (> 0, or 0 for "nothing to report").
    static constexpr int32_t kNothing = 0;
    static constexpr int32_t kMarker = -2;
    static constexpr int32_t kOverflow = -3;
    static constexpr int32_t kIncomplete = -4;
    static constexpr int32_t kNoData = -5;
    static constexpr int32_t kMessageStart = -6;
    static constexpr int32_t kMessageEnd = -7;
    // A message byte b (1..255) comes out as kMessageByteBase + b, a negative value.
    static constexpr int32_t kMessageByteBase = INT32_MIN;

    static constexpr bool isMessageByte(int32_t result) {
        return result > INT32_MIN && result <= INT32_MIN + 0xFF;
    }

    // Empties the value, the history and the message state (the shift is left alone).
    void reset();

    // Takes one byte of the stream and returns its result.
    int32_t feed(uint8_t byte);

    // The input has ended for good (the end of a capture): the value in progress is complete,
    // as no byte can follow it. Returns that value (kNothing when none was begun) and resets.
    int32_t finish();

    // Reads one byte from `port` and feeds it; kNoData when nothing came, the port failed or
    // is closed (the state is then unchanged).
    int32_t next(CommFile& port);

    bool inMessage() const { return inMessage_ != 0; }

  private:
    void shiftIn(uint32_t byte) {
        thirdLast_ = secondLast_;
        secondLast_ = last_;
        last_ = byte;
    }

    uint32_t value_ = 0;
    int32_t shift_ = 0;
    int32_t inMessage_ = 0;
    uint32_t last_ = 0;
    uint32_t secondLast_ = 0;
    uint32_t thirdLast_ = 0;
};

}  // namespace acquisition
