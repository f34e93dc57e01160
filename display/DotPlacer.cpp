#include "display/DotPlacer.h"

void DotPlacer::ScreenRight(const Input& in, Screen& screen) {
    const int32_t oldFirst = screen.firstIndex;
    int32_t i = screen.lastIndex;
    if (Shown(in, i)) {
        // Back to the dot before the call, so a call cut at the right edge is shown whole;
        // a call wider than the screen would bring the same screen back, so it is cut.
        int32_t j = i;
        while (j > 0 && Shown(in, j)) --j;
        if (j + 1 > oldFirst) i = j;
    }
    if (i + 1 < in.count - 4) ++i;
    screen.firstIndex = i;
    screen.leftward = false;
}

void DotPlacer::CallRight(const Input& in, Screen& screen) {
    const int32_t limit = std::max(in.count - 4, 0);
    int32_t i = std::min(screen.firstIndex, limit);
    if (Shown(in, i)) {
        while (i < limit && Shown(in, i)) ++i;
    }
    while (i < limit && !Shown(in, i)) ++i;
    screen.firstIndex = i;
    screen.leftward = false;
}

void DotPlacer::ScreenLeft(const Input& in, Screen& screen) {
    const int32_t oldFirst = screen.firstIndex;
    const int32_t limit = std::max(in.count - 4, 0);
    int32_t i = std::max(screen.firstIndex - 1, 0);
    while (i > 0 && !Shown(in, i)) --i;
    if (Shown(in, i)) {
        // On to the end of that call, so a call cut at the left edge is shown whole, unless
        // the call reaches into the present screen (no step would be made then).
        int32_t j = i;
        while (j < limit && Shown(in, j)) ++j;
        if (j - 1 < oldFirst) i = std::max(j - 1, i);
    }
    screen.firstIndex = i;
    screen.leftward = true;
}

void DotPlacer::CallLeft(const Input& in, Screen& screen) {
    int32_t i = std::max(screen.firstIndex - 1, 0);
    while (i > 0 && !Shown(in, i)) --i;
    while (i > 0 && Shown(in, i)) --i;
    if (i + 1 < in.count - 4 && !Shown(in, i)) ++i;
    screen.firstIndex = i;
    screen.leftward = false;
}
