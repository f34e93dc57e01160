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

namespace {

// The unsigned number of the digits at bytes[from .. from + n), or -1.
int64_t digitsAt(const std::array<uint8_t, PositionBlock::kSize>& bytes, size_t from, size_t n) {
    int64_t value = 0;
    for (size_t i = from; i < from + n; ++i) {
        if (bytes[i] < '0' || bytes[i] > '9') return -1;
        value = value * 10 + (bytes[i] - '0');
    }
    return value;
}

}  // namespace

bool PositionBlock::decode(double& latitudeDegrees, double& longitudeDegrees,
                           int32_t& altitudeMetres) const {
    const uint8_t ns = bytes_[10], ew = bytes_[19];
    const int64_t lat = digitsAt(bytes_, 11, 7), lon = digitsAt(bytes_, 20, 8);
    if ((ns != 'N' && ns != 'S') || (ew != 'E' && ew != 'W') || lat < 0 || lon < 0 ||
        bytes_[18] != ' ' || lat > 9000000 || lon > 18000000) {
        return false;
    }
    // The altitude is right-aligned in four characters, with a leading minus when below 0.
    size_t at = 28;
    while (at < kSize && bytes_[at] == ' ') ++at;
    const bool below = at < kSize && bytes_[at] == '-';
    if (below) ++at;
    if (at >= kSize) return false;
    const int64_t metres = digitsAt(bytes_, at, kSize - at);
    if (metres < 0) return false;
    latitudeDegrees = (ns == 'S' ? -1 : 1) * static_cast<double>(lat) / 100000.0;
    longitudeDegrees = (ew == 'W' ? -1 : 1) * static_cast<double>(lon) / 100000.0;
    altitudeMetres = static_cast<int32_t>(below ? -metres : metres);
    return true;
}
