#pragma once
#include <cstdint>

namespace platform {

// A rectangle of pixels in the window-system's convention: right and bottom are exclusive.
struct PixelRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;

    constexpr int32_t width() const { return right - left; }
    constexpr int32_t height() const { return bottom - top; }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    constexpr bool contains(int32_t x, int32_t y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
    friend constexpr bool operator==(const PixelRect&, const PixelRect&) = default;
};

}  // namespace platform
