#include "display/SoftwareCanvas.h"

#include <algorithm>
#include <cstdlib>

SoftwareCanvas::SoftwareCanvas(int32_t width, int32_t height, int32_t cellWidth, int32_t cellHeight)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      cellWidth_(cellWidth),
      cellHeight_(cellHeight),
      pixels_(static_cast<size_t>(width_) * height_, 0) {}

uint16_t SoftwareCanvas::To565(platform::ColourRef c) {
    const uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

void SoftwareCanvas::fillClipped(platform::PixelRect r, const platform::PixelRect& clip,
                                 uint16_t value) {
    r.left = std::max({r.left, clip.left, 0});
    r.top = std::max({r.top, clip.top, 0});
    r.right = std::min({r.right, clip.right, width_});
    r.bottom = std::min({r.bottom, clip.bottom, height_});
    for (int32_t y = r.top; y < r.bottom; ++y) {
        uint16_t* row = pixels_.data() + static_cast<size_t>(y) * width_;
        std::fill(row + r.left, row + std::max(r.left, r.right), value);
    }
}

void SoftwareCanvas::fillRect(const platform::PixelRect& rect, platform::ColourRef colour) {
    fillClipped(rect, {0, 0, width_, height_}, To565(colour));
}

void SoftwareCanvas::setPixel(int32_t x, int32_t y, platform::ColourRef colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    pixels_[static_cast<size_t>(y) * width_ + x] = To565(colour);
}

void SoftwareCanvas::line(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                          platform::ColourRef colour) {
    const int32_t dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int32_t dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int32_t err = dx + dy;
    while (x0 != x1 || y0 != y1) {
        setPixel(x0, y0, colour);
        const int32_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

int32_t SoftwareCanvas::CharWidth(char ch, int32_t cellWidth) {
    return (ch >= 'a' && ch <= 'z') ? cellWidth - 1 : cellWidth;
}

bool SoftwareCanvas::textExtent(std::string_view text, platform::TextExtent& extent) const {
    extent.width = 0;
    for (char ch : text) extent.width += CharWidth(ch, cellWidth_);
    extent.height = cellHeight_;
    return true;
}

void SoftwareCanvas::drawText(const platform::PixelRect& rect, std::string_view text,
                              platform::TextAlign align, platform::ColourRef foreground,
                              platform::ColourRef background) {
    platform::TextExtent extent;
    textExtent(text, extent);
    const int32_t w = extent.width;
    int32_t x = rect.left;
    if (align == platform::TextAlign::Right) x = rect.right - w;
    if (align == platform::TextAlign::Centre) x = rect.left + (rect.width() - w) / 2;
    const int32_t y = rect.top + (rect.height() - cellHeight_) / 2;
    fillClipped({x, y, x + w, y + cellHeight_}, rect, To565(background));
    const uint16_t fg = To565(foreground);
    for (char ch : text) {
        const int32_t cw = CharWidth(ch, cellWidth_);
        if (ch != ' ') fillClipped({x + 1, y + 2, x + cw - 1, y + cellHeight_ - 2}, rect, fg);
        x += cw;
    }
}
