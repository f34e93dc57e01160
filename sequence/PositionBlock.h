#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The 32 bytes of a sequence file that say where it was recorded. Mode 0 (no position) is
// all zero; mode 1 holds a datum name, the latitude and longitude in hundred-thousandths of
// a degree with their hemisphere letters, and the altitude in whole metres, as text:
//
//   bytes  0..9   datum name, padded with spaces ("WGS84     ")
//   bytes 10..18  'N'/'S' and 7 digits, then a space
//   bytes 19..27  'E'/'W' and 8 digits
//   bytes 28..31  altitude, right-aligned in four characters
//
// Every field is clamped to what its characters can hold, so a block is always exactly
// 32 bytes whatever the GPS reported.
class PositionBlock {
  public:
    static constexpr size_t kSize = 32;
    static constexpr int32_t kModeNone = 0;
    static constexpr int32_t kModeLatLon = 1;
    static constexpr std::string_view kDefaultDatum = "WGS84     ";
    // The largest magnitudes the digit fields can hold, in hundred-thousandths of a degree.
    static constexpr uint32_t kMaxLatitudeUnits = 9999999;
    static constexpr uint32_t kMaxLongitudeUnits = 99999999;
    static constexpr int32_t kMinAltitude = -999;
    static constexpr int32_t kMaxAltitude = 9999;

    // Mode 0: all zero.
    PositionBlock() = default;

    // The block for a position mode and the document's position fields. Any mode other than
    // 1, or a latitude or longitude that is not a finite number, gives the empty block.
    static PositionBlock build(int32_t mode, double latitudeDegrees, double longitudeDegrees,
                               int32_t altitudeMetres, std::string_view datum = kDefaultDatum);

    // The block exactly as stored in a file.
    static PositionBlock fromBytes(std::span<const uint8_t, kSize> bytes);

    const std::array<uint8_t, kSize>& bytes() const { return bytes_; }
    bool isEmpty() const;
    // The 32 characters as text; bytes that are not printable ASCII read as '?'.
    std::string text() const;
    // Reads a mode 1 block back: degrees (negative south and west) and whole metres. False
    // for the empty block and for any block whose fields are not as written.
    bool decode(double& latitudeDegrees, double& longitudeDegrees, int32_t& altitudeMetres) const;

    friend bool operator==(const PositionBlock&, const PositionBlock&) = default;

  private:
    std::array<uint8_t, kSize> bytes_{};
};
