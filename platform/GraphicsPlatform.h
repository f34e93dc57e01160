#pragma once
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/Canvas.h"

namespace platform {

// What a direct 16-bit display reports about its pixels.
struct DisplayProperties {
    uint32_t width = 0;   // device pixels
    uint32_t height = 0;  // device pixels
    int32_t xPitch = 0;   // bytes between horizontally adjacent pixels (may be negative)
    int32_t yPitch = 0;   // bytes between vertically adjacent pixels (may be negative)
    uint32_t bitsPerPixel = 0;
    bool direct565 = false;  // the pixels are 16-bit 5-6-5
};

// A display whose pixels the program writes itself: the frame-buffer path or the
// native-surface path. `beginDraw` gives the address of the pixel at the screen's (0, 0)
// until `endDraw`.
class DirectDisplay {
  public:
    virtual ~DirectDisplay() = default;
    virtual bool open() = 0;
    virtual DisplayProperties properties() const = 0;
    virtual uint8_t* beginDraw() = 0;
    virtual void endDraw() = 0;
    // The native surface's own drawing context, for copies of text and margins; null when
    // the display has none (the window's context is used then).
    virtual WindowDc* surfaceDc() { return nullptr; }
    virtual void releaseSurfaceDc() {}
    virtual void close() = 0;
};

// The services the drawing surface needs from the window system.
class GraphicsPlatform {
  public:
    virtual ~GraphicsPlatform() = default;
    // The window system's major version, 0 when it cannot be used at all.
    virtual int32_t systemMajorVersion() const = 0;
    // The area the view may fill, in logical pixels.
    virtual int32_t screenWidth() const = 0;
    virtual int32_t screenHeight() const = 0;
    // Device pixels per logical pixel (1 or 2 in practice).
    virtual int32_t devicePixelRatio() const { return 1; }
    // The frame buffer the window shows as is; null when the path is not available.
    virtual std::unique_ptr<DirectDisplay> loadFrameBuffer() = 0;
    // The window's native surface, written in place; null when not available.
    virtual std::unique_ptr<DirectDisplay> loadNativeSurface() = 0;
    // The off-screen canvas, `width` x `height`; null when it cannot be made.
    virtual std::unique_ptr<Canvas> createCanvas(int32_t width, int32_t height) = 0;
    // Text measured in the view's font, before any canvas exists.
    virtual bool textExtent(std::string_view text, TextExtent& extent) const = 0;
};

}  // namespace platform
