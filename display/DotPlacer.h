#pragma once
#include <algorithm>
#include <cstdint>
#include <span>

// Where the dots of a file go on one screen, and how the screen steps through the file.
// A dot is shown when its row is above 0. Placing calls `put(column, row)` for every dot
// drawn and fills `columnFirstDot` (one entry per column 0..lastColumn) with the first dot
// of each column.
class DotPlacer {
  public:
    enum class Mode { AllFile, DotsPerColumn, Compressed, TrueTime };

    struct Input {
        std::span<const int32_t> times;
        std::span<const int32_t> rows;
        int32_t count = 0;
        int32_t lastColumn = 0;
        int32_t timeScale = 1;  // dots per column in the all-file and dots-per-column modes
        int32_t columnTime = 25000;
    };

    // The screen being drawn: `firstIndex` is the dot at the left edge (drawing leftward:
    // at the right edge). After a leftward placing, `firstIndex` is the leftmost dot drawn
    // and `lastIndex` the dot at the right edge, so later steps work the same either way.
    struct Screen {
        int32_t firstIndex = 0;
        int32_t lastIndex = 0;
        bool leftward = false;
    };

    template <class Put>
    static void Place(const Input& in, Mode mode, Screen& screen, std::span<int32_t> columnFirstDot,
                      Put&& put);

    // The stepping operations; they change `screen.firstIndex` (and `leftward`).
    static void ScreenRight(const Input& in, Screen& screen);
    static void ScreenLeft(const Input& in, Screen& screen);
    static void CallRight(const Input& in, Screen& screen);
    static void CallLeft(const Input& in, Screen& screen);

  private:
    static bool Shown(const Input& in, int32_t i) {
        return i >= 0 && i < in.count && in.rows[static_cast<size_t>(i)] > 0;
    }
};

template <class Put>
void DotPlacer::Place(const Input& in, Mode mode, Screen& screen, std::span<int32_t> columnFirstDot,
                      Put&& put) {
    const int32_t count = std::min<int32_t>(
        in.count, static_cast<int32_t>(std::min(in.times.size(), in.rows.size())));
    const int32_t lastColumn =
        std::min<int32_t>(in.lastColumn, static_cast<int32_t>(columnFirstDot.size()) - 1);
    std::fill(columnFirstDot.begin(), columnFirstDot.end(), 0);
    if (count <= 0 || lastColumn < 0) {
        screen.firstIndex = screen.lastIndex = 0;
        return;
    }
    screen.firstIndex = std::clamp(screen.firstIndex, 0, count - 1);
    const int32_t perColumn = (in.timeScale >= 1 && in.timeScale <= 4) ? in.timeScale : 1;
    const int64_t columnTime = std::max(in.columnTime, 1);
    const int32_t* t = in.times.data();
    const int32_t* rows = in.rows.data();
    const int32_t limit = std::max(count - 4, 0);

    if (mode == Mode::AllFile) {
        int32_t c = 0, n = 0, last = 0;
        bool firstLap = true;
        int32_t filled = 0;
        for (int32_t i = 2; i < count; ++i) {
            if (rows[i] <= 0) continue;
            put(c, rows[i]);
            if (firstLap && c >= filled) {
                for (int32_t k = filled; k <= c; ++k) columnFirstDot[k] = i;
                filled = c + 1;
            }
            last = i;
            if (++n == perColumn) {
                n = 0;
                if (++c > lastColumn) {
                    c = 0;
                    firstLap = false;
                }
            }
        }
        for (int32_t k = filled; k <= lastColumn; ++k) columnFirstDot[k] = last;
        screen.lastIndex = last;
        return;
    }

    if (!screen.leftward) {
        int32_t filled = 0;
        int32_t last = screen.firstIndex;
        auto mark = [&](int32_t c, int32_t i) {
            for (int32_t k = filled; k <= c; ++k) columnFirstDot[k] = i;
            filled = std::max(filled, c + 1);
            last = i;
        };
        if (mode == Mode::DotsPerColumn) {
            int32_t c = 0, n = 0;
            for (int32_t i = screen.firstIndex; i < count; ++i) {
                if (rows[i] <= 0) continue;
                put(c, rows[i]);
                mark(c, i);
                if (++n == perColumn) {
                    n = 0;
                    if (++c > lastColumn) break;
                }
            }
        } else if (mode == Mode::Compressed) {
            int32_t c = 0;
            bool inCall = false;
            int64_t next = 0;
            for (int32_t i = screen.firstIndex; i < count; ++i) {
                if (rows[i] > 0) {
                    if (!inCall) {
                        inCall = true;
                        next = int64_t{t[i]} + columnTime;
                    } else if (t[i] >= next) {
                        const int64_t steps = (t[i] - next) / columnTime + 1;
                        c = static_cast<int32_t>(std::min<int64_t>(c + steps, lastColumn + 1));
                        next += steps * columnTime;
                    }
                    if (c > lastColumn) break;
                    put(c, rows[i]);
                    mark(c, i);
                } else if (inCall) {
                    inCall = false;
                    c += 2;
                    if (c > lastColumn) break;
                }
            }
        } else {
            int32_t i = screen.firstIndex;
            while (rows[i] <= 0 && i < limit) ++i;
            screen.firstIndex = i;
            last = i;
            const int64_t base = t[i];
            for (; i < count; ++i) {
                const int64_t col = (int64_t{t[i]} - base) / columnTime;
                if (col > lastColumn) break;
                if (rows[i] > 0 && col >= 0) {
                    put(static_cast<int32_t>(col), rows[i]);
                    mark(static_cast<int32_t>(col), i);
                }
            }
        }
        for (int32_t k = filled; k <= lastColumn; ++k) columnFirstDot[k] = last;
        screen.lastIndex = last;
        return;
    }

    // Leftward: the screen ends at `firstIndex`.
    int32_t filledFrom = lastColumn + 1;
    int32_t start = screen.firstIndex;
    int32_t last = start;
    auto mark = [&](int32_t c, int32_t i) {
        for (int32_t k = c; k < filledFrom; ++k) columnFirstDot[k] = i;
        if (c == filledFrom) columnFirstDot[c] = i;
        filledFrom = std::min(filledFrom, c);
        last = i;
    };
    if (mode == Mode::DotsPerColumn) {
        int32_t c = lastColumn, n = 0;
        for (int32_t i = start; i >= 2; --i) {
            if (rows[i] <= 0) continue;
            put(c, rows[i]);
            mark(c, i);
            if (++n == perColumn) {
                n = 0;
                if (--c < 0) break;
            }
        }
    } else if (mode == Mode::Compressed) {
        int32_t c = lastColumn;
        bool inCall = false;
        int64_t previous = 0;
        for (int32_t i = start; i >= 2; --i) {
            if (rows[i] > 0) {
                if (!inCall) {
                    inCall = true;
                    previous = int64_t{t[i]} - columnTime;
                } else if (t[i] <= previous) {
                    const int64_t steps = (previous - t[i]) / columnTime + 1;
                    c = static_cast<int32_t>(std::max<int64_t>(c - steps, -1));
                    previous -= steps * columnTime;
                }
                if (c < 0) break;
                put(c, rows[i]);
                mark(c, i);
            } else if (inCall) {
                inCall = false;
                c -= 2;
                if (c < 0) break;
            }
        }
    } else {
        int32_t i = start;
        while (i > 2 && rows[i] <= 0) --i;
        start = i;
        last = i;
        const int64_t right = t[i];
        for (; i >= 2; --i) {
            const int64_t col = lastColumn - (right - t[i]) / columnTime;
            if (col < 0) break;
            if (rows[i] > 0 && col <= lastColumn) {
                put(static_cast<int32_t>(col), rows[i]);
                mark(static_cast<int32_t>(col), i);
            }
        }
    }
    for (int32_t k = 0; k < filledFrom; ++k) columnFirstDot[k] = last;
    screen.lastIndex = start;
    screen.firstIndex = last;
}
