#include "sequence/PositionBlock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// round(|degrees| × 100 000), half up, clamped to what `maxUnits` digits can show.
uint32_t degreeUnits(double degrees, uint32_t maxUnits) {
    double units = std::floor(std::fabs(degrees) * 100000.0 + 0.5);
    if (!(units < static_cast<double>(maxUnits))) return maxUnits;
    return static_cast<uint32_t>(units);
}

}  // namespace

PositionBlock PositionBlock::build(int32_t mode, double latitudeDegrees, double longitudeDegrees,
                                   int32_t altitudeMetres, std::string_view datum) {
    PositionBlock block;
    if (mode != kModeLatLon || !std::isfinite(latitudeDegrees) ||
        !std::isfinite(longitudeDegrees)) {
        return block;
    }
    // snprintf always adds a terminator, so the text is formed one byte longer than the block.
    char text[kSize + 1];
    std::memset(text, ' ', sizeof text);
    std::copy_n(datum.begin(), std::min<size_t>(datum.size(), 10), text);
    const int32_t altitude = std::clamp(altitudeMetres, kMinAltitude, kMaxAltitude);
    std::snprintf(text + 10, sizeof text - 10, "%c%07u %c%08u%4d", latitudeDegrees < 0 ? 'S' : 'N',
                  degreeUnits(latitudeDegrees, kMaxLatitudeUnits), longitudeDegrees < 0 ? 'W' : 'E',
                  degreeUnits(longitudeDegrees, kMaxLongitudeUnits), static_cast<int>(altitude));
    std::memcpy(block.bytes_.data(), text, kSize);
    return block;
}

PositionBlock PositionBlock::fromBytes(std::span<const uint8_t, kSize> bytes) {
    PositionBlock block;
    std::copy(bytes.begin(), bytes.end(), block.bytes_.begin());
    return block;
}

bool PositionBlock::isEmpty() const {
    return std::all_of(bytes_.begin(), bytes_.end(), [](uint8_t b) { return b == 0; });
}

std::string PositionBlock::text() const {
    std::string s(kSize, ' ');
    for (size_t i = 0; i < kSize; ++i) {
        uint8_t b = bytes_[i];
        s[i] = (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '?';
    }
    return s;
}
