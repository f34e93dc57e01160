#pragma once
#include <cstdint>

// Where the GPS map draws: the map window's pixels (colours are 0x00BBGGRR values), or a
// plain image in tests and headless rendering. Pixels outside the surface are ignored on
// writing and read as 0.
class MapCanvas {
  public:
    virtual ~MapCanvas() = default;
    virtual void fillRect(int32_t left, int32_t top, int32_t right, int32_t bottom,
                          uint32_t colour) = 0;  // right and bottom exclusive
    virtual void setPixel(int32_t x, int32_t y, uint32_t colour) = 0;
    virtual uint32_t pixel(int32_t x, int32_t y) const = 0;
};
