#pragma once
#include <cstdint>

#include "display/StatusLine.h"
#include "platform/PixelRect.h"

// Where a finger lands on the view and what it means there. The regions are tried in a fixed
// order and the first that matches acts, so a region drawn over another wins.
class TapRegions {
  public:
    using Rect = platform::PixelRect;

    enum class Target {
        None,
        LiveStop,        // live: the recorder's word in the status line
        LiveSave,        // live: the name field
        LiveMenu,        // live: the menu area
        FullScreen,      // the full-screen marker field or the full-screen area
        ViewingMenu,     // the menu area
        AxisFrom,        // upper half of the time-axis strip: a screen starting at a column
        AxisTo,          // lower half: a screen ending just before a column
        Plot,            // the plot: the GPS map
        PreviousFile,    // name field, first third
        ToggleAllFile,   // name field, middle third
        NextFile,        // name field, last third
        ScaleCoarser,    // scale field, left half
        ScaleFiner,      // scale field, right half
        Mode,            // mode field
        FilterLooser,    // filter field, left half
        FilterStricter,  // filter field, right half
    };

    // The rectangles of one layout (screen coordinates).
    struct Areas {
        Rect view, plot, timeAxis;
        StatusLine::Fields status;
    };

    struct Hit {
        Target target = Target::None;
        // AxisFrom/AxisTo: the plot column tapped, negative left of the plot.
        int32_t column = 0;
    };

    // A tap within a few pixels of a status-line field, and on no region, counts for it.
    static Hit Find(const Areas& areas, int32_t x, int32_t y, bool live, bool allFile);

    // The bottom quarter of the plot, from the view's left edge, a third of the way to the
    // plot's right edge.
    static Rect MenuArea(const Rect& view, const Rect& plot);
    // The bottom quarter of the plot, the last third from the plot's left edge to the view's
    // right edge.
    static Rect FullScreenArea(const Rect& view, const Rect& plot);

  private:
    static Hit FindExact(const Areas& areas, int32_t x, int32_t y, bool live, bool allFile);
};
