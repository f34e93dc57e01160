#include "display/TimeAxis.h"

#include <algorithm>
#include <cstdio>

namespace {

int64_t FirstMultiple(int64_t v, int64_t step) {
    const int64_t q = v / step;
    return (q * step < v ? q + 1 : q) * step;  // ceil for either sign
}

void Ticks(platform::Canvas& canvas, int32_t top, int32_t plotLeft, int64_t start, int64_t end,
           int64_t spacing, int32_t columnTime, int32_t length, platform::ColourRef colour) {
    if (spacing <= 0) return;
    for (int64_t m = FirstMultiple(start, spacing); m <= end; m += spacing) {
        const auto x = static_cast<int32_t>(plotLeft + (m - start) / columnTime);
        canvas.line(x, top, x, top + length, colour);
    }
}

}  // namespace

TimeAxis::Spacing TimeAxis::ChooseSpacing(int64_t span, int32_t plotWidth, int32_t digits4Width) {
    static const int32_t kDecades[] = {1000, 10000, 100000, 1000000, 10000000};
    static const int32_t kChars[] = {8, 7, 6, 4, 4};
    static const int32_t kMantissas[] = {1, 2, 5};
    const int64_t charWidth = digits4Width / 4;
    for (size_t d = 0; d < std::size(kDecades); ++d) {
        for (int32_t a : kMantissas) {
            const int64_t e = int64_t{kDecades[d]} * a;
            if (charWidth * kChars[d] * (span / e + 1) < plotWidth) {
                return {e, kDecades[d], a, kChars[d]};
            }
        }
    }
    return {50000000, 10000000, 5, 4};
}

std::string TimeAxis::Label(int64_t micros, int32_t decade) {
    char text[32];
    const double seconds = static_cast<double>(micros) / 1e6;
    switch (decade) {
        case 1000:
            std::snprintf(text, sizeof text, "%6.3f", seconds);
            break;
        case 10000:
            std::snprintf(text, sizeof text, "%5.2f", seconds);
            break;
        case 100000:
            std::snprintf(text, sizeof text, "%4.1f", seconds);
            break;
        default:
            std::snprintf(text, sizeof text, "%d", static_cast<int>(micros / 1000000));
            break;
    }
    return text;
}

void TimeAxis::Draw(platform::Canvas& canvas, const platform::PixelRect& axis,
                    const platform::PixelRect& plot, int64_t start, int32_t columnTime,
                    int32_t digits4Width, int32_t textHeight, platform::ColourRef scale,
                    platform::ColourRef back) {
    if (columnTime <= 0) return;
    const int32_t plotWidth = plot.width();
    const int64_t span = int64_t{columnTime} * plotWidth;
    const int64_t end = start + span;
    const Spacing s = ChooseSpacing(span, plotWidth, digits4Width);
    const int64_t e = s.step;
    const int32_t labelWidth = digits4Width / 4 * s.labelChars;

    for (int64_t k = FirstMultiple(start, e); k <= end; k += e) {
        const auto x = static_cast<int32_t>(plot.left + (k - start) / columnTime);
        canvas.line(x, axis.top, x, axis.top + 8, scale);
        const std::string text = Label(k, s.decade);
        // A label the view's right edge would cut reads as another number ("3" of "3.45"):
        // its tick stays, the number goes.
        platform::TextExtent extent;
        if (canvas.textExtent(text, extent) && x - 4 + extent.width > axis.right) continue;
        // Below the tick, cut at the strip's bottom (the digits' descent is blank there).
        canvas.drawText({x - 4, axis.top + 8, x - 4 + labelWidth + 8,
                         std::min(axis.bottom, axis.top + 8 + textHeight)},
                        text, platform::TextAlign::Left, scale, back);
    }

    const int64_t pixelsPerLabel = e / columnTime;
    auto family = [&](int64_t spacing, int32_t length) {
        Ticks(canvas, axis.top, plot.left, start, end, spacing, columnTime, length, scale);
    };
    if (s.mantissa == 1) {
        if (pixelsPerLabel >= 50) {
            family(e / 2, 8);
            family(e / 10, 4);
        } else if (pixelsPerLabel >= 25) {
            family(e / 5, 4);
        } else {
            family(e / 2, 8);
        }
    } else if (s.mantissa == 2) {
        family(e / 2, 8);
        if (pixelsPerLabel >= 50) family(e / 10, 4);
    } else if (pixelsPerLabel >= 25) {
        family(e / 5, 4);
    }

    // The two tap halves of the strip, marked in the margin left of the plot.
    const int32_t n = axis.left, o = axis.top, b = axis.bottom, q = (axis.top + axis.bottom) / 2;
    const int32_t right = plot.left - 8;
    canvas.line(n + 2, o + 2, right - 1, o + 2, scale);
    canvas.line(right - 1, o + 2, right - 1, b - 3, scale);
    canvas.line(right - 1, b - 3, n + 2, b - 3, scale);
    canvas.line(n + 2, b - 3, n + 2, o + 2, scale);
    canvas.line(n + 2, q, right, q, scale);

    const int32_t upper = (q + o + 2) / 2;
    const int32_t tipLeft = n + 5;
    canvas.line(plot.left - 10, upper, tipLeft - 1, upper, scale);
    canvas.line(tipLeft + 3, upper - 2, tipLeft, upper, scale);
    canvas.line(tipLeft + 3, upper + 2, tipLeft, upper, scale);

    const int32_t lower = (q + b - 2) / 2;
    const int32_t tipRight = plot.left - 11;
    canvas.line(n + 4, lower, tipRight + 1, lower, scale);
    canvas.line(tipRight - 3, lower - 2, tipRight, lower, scale);
    canvas.line(tipRight - 3, lower + 2, tipRight, lower, scale);
}
