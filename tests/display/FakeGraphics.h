#pragma once
#include <cstring>
#include <memory>
#include <vector>

#include "display/SoftwareCanvas.h"
#include "platform/GraphicsPlatform.h"

// A window system for the display's tests: direct displays over plain memory with any
// pitches, a software canvas with 8 x 14 text cells, and a window that records its copies.
namespace fake {

struct DisplayMemory {
    bool available = true;
    bool opens = true;
    bool refusesDraw = false;  // beginDraw gives no pixels (the store cannot serve this paint)
    platform::DisplayProperties properties;
    std::vector<uint8_t> memory;
    ptrdiff_t originOffset = 0;  // where pixel (0, 0) lies in `memory`
    int beginCount = 0;
    int endCount = 0;

    // A display of w x h pixels, `xPitch` bytes per pixel step, rows `rowBytes` apart
    // (negative: stored bottom-up).
    void shape(uint32_t w, uint32_t h, int32_t xPitch, int32_t rowBytes, uint32_t bpp = 16,
               bool is565 = true) {
        properties = {w, h, xPitch, rowBytes, bpp, is565};
        const size_t absRow = static_cast<size_t>(rowBytes < 0 ? -rowBytes : rowBytes);
        memory.assign(absRow * h + 16, 0);
        originOffset = rowBytes < 0 ? static_cast<ptrdiff_t>(absRow * (h - 1)) : 0;
    }
    uint16_t pixel(int32_t x, int32_t y) const {
        uint16_t v;
        std::memcpy(&v,
                    memory.data() + originOffset + static_cast<ptrdiff_t>(y) * properties.yPitch +
                        static_cast<ptrdiff_t>(x) * properties.xPitch,
                    2);
        return v;
    }
};

class Display : public platform::DirectDisplay {
  public:
    explicit Display(DisplayMemory& m) : m_(m) {}
    bool open() override { return m_.opens; }
    platform::DisplayProperties properties() const override { return m_.properties; }
    uint8_t* beginDraw() override {
        ++m_.beginCount;
        return m_.refusesDraw ? nullptr : m_.memory.data() + m_.originOffset;
    }
    void endDraw() override { ++m_.endCount; }
    void close() override {}

  private:
    DisplayMemory& m_;
};

class Platform : public platform::GraphicsPlatform {
  public:
    int32_t major = 6;
    int32_t width = 320, height = 240, ratio = 1;
    DisplayMemory frameBuffer, nativeSurface;
    bool canvasFails = false;

    Platform() { frameBuffer.available = nativeSurface.available = false; }
    int32_t systemMajorVersion() const override { return major; }
    int32_t screenWidth() const override { return width; }
    int32_t screenHeight() const override { return height; }
    int32_t devicePixelRatio() const override { return ratio; }
    std::unique_ptr<platform::DirectDisplay> loadFrameBuffer() override {
        if (!frameBuffer.available) return nullptr;
        return std::make_unique<Display>(frameBuffer);
    }
    std::unique_ptr<platform::DirectDisplay> loadNativeSurface() override {
        if (!nativeSurface.available) return nullptr;
        return std::make_unique<Display>(nativeSurface);
    }
    std::unique_ptr<platform::Canvas> createCanvas(int32_t w, int32_t h) override {
        if (canvasFails) return nullptr;
        return std::make_unique<SoftwareCanvas>(w, h);
    }
    bool textExtent(std::string_view text, platform::TextExtent& e) const override {
        e.width = 0;
        for (char ch : text) e.width += SoftwareCanvas::CharWidth(ch, 8);
        e.height = 14;
        return true;
    }
    // A frame buffer exactly the screen's size, rows contiguous.
    void giveFrameBuffer() {
        frameBuffer.available = true;
        frameBuffer.shape(static_cast<uint32_t>(width * ratio),
                          static_cast<uint32_t>(height * ratio), 2, width * ratio * 2);
    }
};

// A window that keeps a 5-6-5 picture of what was copied to it.
class Window : public platform::WindowDc {
  public:
    Window(int32_t w, int32_t h) : picture(w, h) {}
    struct Copy {
        platform::PixelRect source;
        int32_t x, y;
    };
    std::vector<Copy> copies;
    SoftwareCanvas picture;
    int fills = 0;

    void blit(const platform::Canvas& canvas, const platform::PixelRect& s, int32_t x,
              int32_t y) override {
        copies.push_back({s, x, y});
        for (int32_t r = 0; r < s.height(); ++r) {
            for (int32_t c = 0; c < s.width(); ++c) {
                const uint16_t v =
                    canvas.pixels()[static_cast<size_t>(s.top + r) * canvas.stridePixels() +
                                    s.left + c];
                const uint32_t rr = (v >> 11) << 3, gg = ((v >> 5) & 63) << 2, bb = (v & 31) << 3;
                picture.setPixel(x + c, y + r, rr | (gg << 8) | (bb << 16));
            }
        }
    }
    void fillRect(const platform::PixelRect& r, platform::ColourRef c) override {
        ++fills;
        picture.fillRect(r, c);
    }
    void drawText(const platform::PixelRect& r, std::string_view t, platform::TextAlign a,
                  platform::ColourRef fg) override {
        picture.drawText(r, t, a, fg, 0);
    }
};

}  // namespace fake
