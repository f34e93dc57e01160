#pragma once
#include <cstdint>
#include <vector>

#include "platform/Canvas.h"

// A canvas in plain memory with a block font: each character is a cell of `cellWidth` x
// `cellHeight` pixels (lower-case letters one pixel narrower) with a solid block for its
// glyph. It serves the
// command-line checks and the tests, where the exact shape of letters does not matter but
// where every text lies does.
class SoftwareCanvas : public platform::Canvas {
  public:
    SoftwareCanvas(int32_t width, int32_t height, int32_t cellWidth = 8, int32_t cellHeight = 14);

    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    const uint16_t* pixels() const override { return pixels_.data(); }
    int32_t stridePixels() const override { return width_; }

    void fillRect(const platform::PixelRect& rect, platform::ColourRef colour) override;
    void setPixel(int32_t x, int32_t y, platform::ColourRef colour) override;
    void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, platform::ColourRef colour) override;
    bool textExtent(std::string_view text, platform::TextExtent& extent) const override;
    void drawText(const platform::PixelRect& rect, std::string_view text, platform::TextAlign align,
                  platform::ColourRef foreground, platform::ColourRef background) override;

    uint16_t at(int32_t x, int32_t y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    static uint16_t To565(platform::ColourRef colour);
    static int32_t CharWidth(char ch, int32_t cellWidth);

  private:
    void fillClipped(platform::PixelRect rect, const platform::PixelRect& clip, uint16_t value);

    int32_t width_, height_, cellWidth_, cellHeight_;
    std::vector<uint16_t> pixels_;
};
