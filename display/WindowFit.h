#pragma once
#include <cstdint>

// How big the main window opens and how small it may get: within the screen's available
// area, and never so narrow that the status line's fields run into each other.
class WindowFit {
  public:
    static constexpr int32_t kPreferredWidth = 960;
    static constexpr int32_t kPreferredHeight = 600;
    // Room for the window system's title bar and borders, which come on top of the window's
    // size and are not known before it is shown: a 960 x 600 window on a 1024 x 600 panel
    // under a desktop's window manager had its status line below the screen's edge.
    static constexpr int32_t kFrameWidth = 16;
    static constexpr int32_t kFrameHeight = 48;

    struct Placement {
        bool maximised = false;
        int32_t x = 0, y = 0, width = 0, height = 0;
    };

    // The window for an available area at (left, top) of the given size: maximised when the
    // area is smaller than the preferred size with its frame, else that size centred in it.
    static Placement Initial(int32_t left, int32_t top, int32_t width, int32_t height);

    // The narrowest view whose status line shows every field apart: name (after a notice
    // `noticeWidth` wide), scale, mode (or the short recorder word), filter, the full-screen
    // marker and the clock.
    static int32_t MinimumViewWidth(int32_t digits3Width, int32_t digits4Width, int32_t mWidth,
                                    int32_t noticeWidth = 0);

    // The height of a control a finger hits on a screen of that size and density: 40 pixels
    // on an 800 x 480 panel (7 mm on a 5" one), less on a smaller screen, and no less than
    // 7 mm where the pixels are dense, so a desktop keeps ordinary buttons.
    static int32_t FingerPixels(int32_t screenWidth, int32_t screenHeight, double dotsPerInch);

    struct Box {
        int32_t x = 0, y = 0, width = 0, height = 0;
    };
    // The top of a dialog's frame while an on-screen keyboard covers `keyboard`: where it
    // was when the keyboard leaves it be; else moved up no further than shows it whole above
    // the keyboard, its OK and Cancel included, and never above `area` (the screen's
    // available part). A window manager keeps a dialog's frame on the screen (matchbox
    // refused such a move outright), and a title bar above it could not be dragged back; the
    // field being edited is as high as it can get at the top. Screen coordinates throughout.
    static int32_t DialogTopOverKeyboard(const Box& area, const Box& keyboard, const Box& dialog);
};
