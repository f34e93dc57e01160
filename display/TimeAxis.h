#pragma once
#include <cstdint>
#include <string>

#include "platform/Canvas.h"
#include "platform/PixelRect.h"

// The strip below the plot: ticks and labels in seconds for the time the screen spans, and
// the two arrows in the margin that mark the halves of the strip a tap steps through.
class TimeAxis {
  public:
    struct Spacing {
        int64_t step = 0;      // microseconds between labels (e)
        int32_t decade = 0;    // D
        int32_t mantissa = 0;  // a: 1, 2 or 5
        int32_t labelChars = 0;
    };

    // The label spacing for a span of `span` microseconds over `plotWidth` pixels.
    static Spacing ChooseSpacing(int64_t span, int32_t plotWidth, int32_t digits4Width);
    static std::string Label(int64_t micros, int32_t decade);

    // Draws into `canvas` (screen coordinates). `start` is the time at the plot's left edge.
    static void Draw(platform::Canvas& canvas, const platform::PixelRect& axisRect,
                     const platform::PixelRect& plotRect, int64_t start, int32_t columnTime,
                     int32_t digits4Width, int32_t textHeight, platform::ColourRef scaleColour,
                     platform::ColourRef backColour);
};
