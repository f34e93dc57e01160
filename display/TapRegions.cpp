#include "display/TapRegions.h"

namespace {

using Rect = TapRegions::Rect;

// Which of `parts` equal pieces of `r` (left to right) holds x.
int32_t PieceOf(const Rect& r, int32_t x, int32_t parts) {
    const int32_t w = r.width();
    if (w <= 0) return 0;
    for (int32_t k = 1; k < parts; ++k) {
        if (x < r.left + w * k / parts) return k - 1;
    }
    return parts - 1;
}

}  // namespace

Rect TapRegions::MenuArea(const Rect& view, const Rect& plot) {
    const int32_t quarter = plot.height() / 4;
    return {view.left, plot.bottom - quarter, view.left + (plot.right - view.left) / 3,
            plot.bottom};
}

Rect TapRegions::FullScreenArea(const Rect& view, const Rect& plot) {
    const int32_t quarter = plot.height() / 4;
    return {view.right - (view.right - plot.left) / 3, plot.bottom - quarter, view.right,
            plot.bottom};
}

TapRegions::Hit TapRegions::Find(const Areas& a, int32_t x, int32_t y, bool live, bool allFile) {
    const StatusLine::Fields& f = a.status;
    const Rect menu = MenuArea(a.view, a.plot);
    if (live) {
        if (f.liveText.contains(x, y)) return {Target::LiveStop};
        if (f.name.contains(x, y)) return {Target::LiveSave};
        if (menu.contains(x, y)) return {Target::LiveMenu};
    }
    if (f.fullScreen.contains(x, y)) return {Target::FullScreen};
    if (!live && menu.contains(x, y)) return {Target::ViewingMenu};
    if (FullScreenArea(a.view, a.plot).contains(x, y)) return {Target::FullScreen};
    if (!allFile && a.timeAxis.contains(x, y)) {
        const bool upper = y < a.timeAxis.top + a.timeAxis.height() / 2;
        return {upper ? Target::AxisFrom : Target::AxisTo, x - a.plot.left};
    }
    if (a.plot.contains(x, y)) return {Target::Plot};
    if (!live && f.name.contains(x, y)) {
        static constexpr Target kThirds[] = {Target::PreviousFile, Target::ToggleAllFile,
                                             Target::NextFile};
        return {kThirds[PieceOf(f.name, x, 3)]};
    }
    if (f.scale.contains(x, y)) {
        return {PieceOf(f.scale, x, 2) == 0 ? Target::ScaleCoarser : Target::ScaleFiner};
    }
    if (!live && f.mode.contains(x, y)) return {Target::Mode};
    if (!live && f.filter.contains(x, y)) {
        return {PieceOf(f.filter, x, 2) == 0 ? Target::FilterLooser : Target::FilterStricter};
    }
    return {};
}
