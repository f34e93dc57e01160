#pragma once
#include <QImage>
#include <algorithm>

#include "gps/MapCanvas.h"

// The map window's pixels: a 32-bit image the window shows as it is.
class ImageMapCanvas : public MapCanvas {
  public:
    void resize(int width, int height) {
        image_ = QImage(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
        image_.fill(Qt::black);
        bits_ = reinterpret_cast<uint32_t*>(image_.bits());
        stride_ = static_cast<int32_t>(image_.bytesPerLine() / 4);
    }
    const QImage& image() const { return image_; }

    void fillRect(int32_t left, int32_t top, int32_t right, int32_t bottom,
                  uint32_t colour) override {
        left = std::max(left, 0);
        top = std::max(top, 0);
        right = std::min(right, static_cast<int32_t>(image_.width()));
        bottom = std::min(bottom, static_cast<int32_t>(image_.height()));
        if (left >= right) return;
        const uint32_t argb = toArgb(colour);
        for (int32_t y = top; y < bottom; ++y)
            std::fill(bits_ + y * stride_ + left, bits_ + y * stride_ + right, argb);
    }
    void setPixel(int32_t x, int32_t y, uint32_t colour) override {
        if (inside(x, y)) bits_[y * stride_ + x] = toArgb(colour);
    }
    uint32_t pixel(int32_t x, int32_t y) const override {
        return inside(x, y) ? fromArgb(bits_[y * stride_ + x]) : 0;
    }

    // 0x00BBGGRR to the image's 0xFFRRGGBB and back.
    static uint32_t toArgb(uint32_t c) {
        return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
    }
    static uint32_t fromArgb(uint32_t p) {
        return ((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16);
    }

  private:
    bool inside(int32_t x, int32_t y) const {
        return bits_ != nullptr && x >= 0 && y >= 0 && x < image_.width() && y < image_.height();
    }

    QImage image_;
    uint32_t* bits_ = nullptr;
    int32_t stride_ = 0;
};
