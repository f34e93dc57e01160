#pragma once
#include <cstdint>
#include <string>

#include "platform/Canvas.h"
#include "platform/PixelRect.h"

// The bottom line of the view: file name, horizontal scale, view mode or recorder state,
// filter level, full-screen marker and a clock with the GPS state letter.
class StatusLine {
  public:
    using Rect = platform::PixelRect;

    struct Fields {
        Rect name, scale, mode, filter, clock, liveText, fullScreen;
    };

    // What the line shows on one redraw.
    struct Content {
        std::string notice;  // "File Corrupt " and the like: shown whole before the name
        std::string name;
        bool live = false;
        std::string scaleText;
        std::string modeText;  // not live
        std::string liveText;  // live
        int32_t filterLevel = 0;
        bool fullScreen = false;
    };

    // The name field holds eleven digits, and `noticeWidth` more for a notice before the
    // name; the fields after it move along.
    static Fields Layout(const Rect& status, int32_t digits3Width, int32_t digits4Width,
                         int32_t mWidth, int32_t noticeWidth = 0);
    static void Draw(platform::Canvas& canvas, const Rect& status, const Fields& fields,
                     const Content& content, platform::ColourRef scaleColour,
                     platform::ColourRef statusBack);

    // "Monitoring"/"Recording" (monitor mode 1/0) when `wide`, else "Monitor"/"Record"; "Waste",
    // "O'Flow" or "W & O" while their countdowns run.
    static std::string LiveWord(int32_t monitorMode, bool wide, bool waste, bool overflow);
    // The GPS state letter: 0 '-', 1 'g', 3 'd', 5 'G', 7 'D', -2 '?', anything else ' '.
    static char GpsLetter(int32_t state);
    static std::string ClockText(int32_t gpsState, int32_t hour, int32_t minute, int32_t second);
};
