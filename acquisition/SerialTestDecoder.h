#pragma once
#include <cstdint>

namespace acquisition {

// The serial test's own reading of the module's stream, byte by byte. Simpler than the
// recorder's decoder: it never rewinds or discards, so the test sees the line as it is.
// A value is reported when the next one begins, so the last value before a pause waits.
class SerialTestDecoder {
  public:
    // Results besides an interval (> 0; 0 only for the value of a fresh decoder).
    static constexpr int32_t kOverflow = -3;            // 0x80 0x80 0x80
    static constexpr int32_t kMarker = -2;              // 0x80 0xFF 0x80
    static constexpr int32_t kNothing = -4;             // a byte that completes nothing
    static constexpr int32_t kNoByte = -5;              // used by readers: no byte arrived
    static constexpr int32_t kMessageStart = -6;        // 0x80 0x81
    static constexpr int32_t kMessageEnd = -7;          // the 0x00 that ends a message
    static constexpr int32_t kMessageByte = INT32_MIN;  // + the byte, inside a message

    // The next byte of the line; one of the results above or an interval in microseconds.
    int32_t Next(uint8_t byte);

    // Clears the value being assembled and the two bytes of history only.
    void Reset();

  private:
    void shiftIn(uint8_t byte) {
        secondLast_ = last_;
        last_ = byte;
    }

    uint32_t value_ = 0;
    int32_t shift_ = 0;
    bool inMessage_ = false;
    uint8_t last_ = 0;
    uint8_t secondLast_ = 0;
};

}  // namespace acquisition
