#include "display/TapRegions.h"

#include <algorithm>
#include <span>

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

namespace {

// The status line's fields and their halves are narrower than a fingertip: a tap that
// misses every region but lands this close to a field counts for the nearest one.
constexpr int32_t kFieldSlack = 4;

// How far (x, y) lies outside `r`, or -1 when it is farther than the slack either way.
int32_t Distance(const Rect& r, int32_t x, int32_t y) {
    if (r.width() <= 0 || r.height() <= 0) return -1;
    const int32_t dx = x < r.left ? r.left - x : (x >= r.right ? x - r.right + 1 : 0);
    const int32_t dy = y < r.top ? r.top - y : (y >= r.bottom ? y - r.bottom + 1 : 0);
    return dx <= kFieldSlack && dy <= kFieldSlack ? dx + dy : -1;
}

}  // namespace

TapRegions::Hit TapRegions::Find(const Areas& a, int32_t x, int32_t y, bool live, bool allFile) {
    const Hit exact = FindExact(a, x, y, live, allFile);
    if (exact.target != Target::None) return exact;
    const StatusLine::Fields& f = a.status;
    const Rect* nearest = nullptr;
    int32_t best = kFieldSlack * 2 + 1;
    // While live the recorder's word lies over the mode and filter fields, which do nothing.
    const Rect* const viewing[] = {&f.name, &f.scale, &f.mode, &f.filter, &f.fullScreen};
    const Rect* const recording[] = {&f.name, &f.scale, &f.liveText, &f.fullScreen};
    for (const Rect* r :
         live ? std::span<const Rect* const>(recording) : std::span<const Rect* const>(viewing)) {
        const int32_t d = Distance(*r, x, y);
        if (d >= 0 && d < best) {
            best = d;
            nearest = r;
        }
    }
    if (nearest == nullptr) return exact;
    // The tap moved onto the field's nearest edge, where it counts as if it landed there.
    return FindExact(a, std::clamp(x, nearest->left, nearest->right - 1),
                     std::clamp(y, nearest->top, nearest->bottom - 1), live, allFile);
}

TapRegions::Hit TapRegions::FindExact(const Areas& a, int32_t x, int32_t y, bool live,
                                      bool allFile) {
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
