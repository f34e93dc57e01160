#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "sequence/DotStore.h"
#include "sequence/JulianTime.h"
#include "sequence/PositionBlock.h"

// The sequence file format: a 282-byte text header, a parameter block, for type 0x84 the
// start time and position, then the intervals between zero crossings as variable-length
// codes. The writer produces type 0x84 only; the reader also takes 0x81, 0x82 and 0x83.

namespace seqformat {

constexpr uint8_t kType81 = 0x81;
constexpr uint8_t kType82 = 0x82;
constexpr uint8_t kType83 = 0x83;
constexpr uint8_t kType84 = 0x84;
constexpr uint16_t kParameterOffset = 282;
constexpr uint16_t kDataOffset84 = 336;
constexpr uint16_t kDataOffsetOld = 288;
constexpr uint16_t kNominalTiming = 25000;
constexpr uint16_t kMinTiming = 10000;
constexpr uint16_t kMaxTiming = 60000;
constexpr int32_t kMaxRatio = 64;
// The reader never looks beyond this many bytes of a file.
constexpr size_t kMaxFileSize = 32768;
// The writer never makes a file longer than this.
constexpr size_t kMaxWrittenSize = 32763;
// A file shorter than this is corrupt whatever it holds.
constexpr size_t kMinFileSize = 200;
constexpr int32_t kMaxIntervals = DotStore::kCapacity - 1;
// Sums of intervals above this are not stored (15 seconds per file).
constexpr int32_t kMaxSequenceTime = 14999999;
// The longest interval a code can carry (29 bits).
constexpr int32_t kMaxInterval = (1 << 29) - 1;
// The status the reader gives dots 0 and 1.
constexpr uint8_t kStatusStart = 254;

}  // namespace seqformat

// The six text fields of the header, 7-bit ASCII, space-padded. Zeroed fields are written
// as spaces.
struct SequenceHeaderText {
    std::array<char, 8> tape{};
    std::array<char, 8> date{};
    std::array<char, 40> location{};
    std::array<char, 50> species{};
    std::array<char, 16> specificationText{};
    std::array<char, 73> note1{};
    std::array<char, 80> note2{};
};

// The start time as the file holds it: broken-down fields, the fraction of the second split
// into hundredths and the microseconds below the hundredth.
struct SequenceStartTime {
    uint16_t year = 0;
    uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0, hundredths = 0;
    uint16_t remainder = 0;  // 0..9 999

    // All zero for a value that has no calendar date or whose year does not fit 16 bits.
    static SequenceStartTime fromJulian(JulianTime time);
    // The microseconds of the second, hundredths and remainder together.
    int32_t microsecond() const { return hundredths * 10000 + remainder; }
    friend bool operator==(const SequenceStartTime&, const SequenceStartTime&) = default;
};

// What the header of a file says, before its intervals are decoded.
struct SequenceFileHeader {
    uint8_t type = 0;
    uint16_t dataOffset = 0;
    uint16_t timingValue = 0;
    int32_t divisionRatio = 0;
    bool hasStartTime = false;  // type 0x84 only
    SequenceStartTime start;
    PositionBlock position;  // empty for the older types
};

// Checks the header as the decoder does. False for an image the decoder would reject, which
// includes a type 0x84 start time that is neither all zero nor a real date and time of day.
bool readSequenceHeader(std::span<const uint8_t> image, SequenceFileHeader& header);

// Encodes dots 0 .. count-1 of the store as a type 0x84 image into `out`, which must hold at
// least kMaxFileSize bytes. Returns the image length (0 if `out` is too small). Intervals
// that would take the image past kMaxWrittenSize bytes, and any interval that no code can
// carry (negative, or above kMaxInterval), end the data there.
size_t encodeSequenceImage(const DotStore& store, const SequenceHeaderText& header,
                           const SequenceStartTime& start, const PositionBlock& position,
                           std::span<uint8_t> out);

// The same into a fresh buffer sized to the image. Throws std::bad_alloc when memory is out.
std::vector<uint8_t> encodeSequenceImage(const DotStore& store, const SequenceHeaderText& header,
                                         const SequenceStartTime& start,
                                         const PositionBlock& position);

// Decodes an image of any length (only its first kMaxFileSize bytes count) into the store's
// times, status, count, division ratio and timing value. Returns the number of dots, or 0 for
// an image it rejects; a rejected image leaves the store as it was. Times beyond the count
// and frequencies are not touched.
int32_t decodeSequenceImage(std::span<const uint8_t> image, DotStore& store);

// Fills frequency[0 .. count-1] from the times: the division ratio × 10^9 over the span of
// the dot's two latest intervals, rounded, for spans of 48 to 12 000 µs; else 0.
void computeDotFrequencies(DotStore& store);
