#pragma once
#include <cstdint>
#include <string_view>

#include "platform/PixelRect.h"

namespace platform {

// Colours on this interface are 0x00BBGGRR values, as the settings hold them.
using ColourRef = uint32_t;

enum class TextAlign { Left, Centre, Right };

struct TextExtent {
    int32_t width = 0;
    int32_t height = 0;
};

// The off-screen drawing context that holds the text, the margins and (on the painter-only
// path) the plot: a 16-bit 5-6-5 image as large as the screen, addressed in screen
// coordinates. Every text is drawn in the view's one font.
class Canvas {
  public:
    virtual ~Canvas() = default;

    virtual int32_t width() const = 0;
    virtual int32_t height() const = 0;
    // The 5-6-5 pixels, row after row, `stridePixels()` apart.
    virtual const uint16_t* pixels() const = 0;
    virtual int32_t stridePixels() const = 0;

    virtual void fillRect(const PixelRect& rect, ColourRef colour) = 0;
    virtual void setPixel(int32_t x, int32_t y, ColourRef colour) = 0;
    // A one-pixel line from (x0, y0) towards (x1, y1), the end point itself not drawn.
    virtual void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, ColourRef colour) = 0;
    // False when the text cannot be measured (the caller then takes its defaults).
    virtual bool textExtent(std::string_view text, TextExtent& extent) const = 0;
    // One line of text in `rect`, vertically centred, clipped to `rect`; the cell behind the
    // glyphs is filled with `background`.
    virtual void drawText(const PixelRect& rect, std::string_view text, TextAlign align,
                          ColourRef foreground, ColourRef background) = 0;
};

// Where the memory canvas is copied to: the window (or, for the native-surface path, the
// surface's own drawing context). Coordinates are the target's.
class WindowDc {
  public:
    virtual ~WindowDc() = default;
    // Copies `source` (in the canvas's coordinates) to (destX, destY).
    virtual void blit(const Canvas& canvas, const PixelRect& source, int32_t destX,
                      int32_t destY) = 0;
    virtual void fillRect(const PixelRect& rect, ColourRef colour) = 0;
    virtual void drawText(const PixelRect& rect, std::string_view text, TextAlign align,
                          ColourRef foreground) = 0;
};

}  // namespace platform
