#pragma once
#include <cstdint>

// How big the main window opens and how small it may get: within the screen's available
// area, and never so narrow that the status line's fields run into each other.
class WindowFit {
  public:
    static constexpr int32_t kPreferredWidth = 960;
    static constexpr int32_t kPreferredHeight = 600;

    struct Placement {
        bool maximised = false;
        int32_t x = 0, y = 0, width = 0, height = 0;
    };

    // The window for an available area at (left, top) of the given size: maximised when the
    // area is smaller than the preferred size, else that size centred in it.
    static Placement Initial(int32_t left, int32_t top, int32_t width, int32_t height);

    // The narrowest view whose status line shows every field apart: name, scale, mode (or
    // the short recorder word), filter, the full-screen marker and the clock.
    static int32_t MinimumViewWidth(int32_t digits3Width, int32_t digits4Width, int32_t mWidth);
};
