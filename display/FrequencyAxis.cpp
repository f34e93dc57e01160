#include "display/FrequencyAxis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

void FrequencyAxis::Configure(int32_t fMin, int32_t fMax, bool logScale, int32_t plotHeight,
                              int32_t rowMin, int32_t rowMax) {
    fMin_ = fMin;
    fMax_ = fMax;
    logScale_ = logScale;
    height_ = plotHeight;
    rowMin_ = rowMin;
    rowMax_ = rowMax;
    valid_ = false;
    freqScale_ = freqOffset_ = 0.0;
    const double h = plotHeight;
    if (logScale) {
        // The scale spans the whole-number quotient of the limits, as the stored views
        // always have; a quotient below 2 would span nothing, so the real ratio is used.
        if (fMin <= 0 || fMax <= fMin) return;
        const int32_t q = fMax / fMin;
        const double span = q >= 2 ? std::log10(static_cast<double>(q))
                                   : std::log10(static_cast<double>(fMax) / fMin);
        freqScale_ = h / span;
        freqOffset_ = freqScale_ * std::log10(static_cast<double>(fMin)) + h + 0.5;
    } else {
        if (fMax <= fMin) return;
        freqScale_ = h / (static_cast<double>(fMax) - fMin);
        freqOffset_ = freqScale_ * fMin + h + 0.5;
    }
    valid_ = true;
}

int32_t FrequencyAxis::RowOfFrequency(int64_t f) const {
    if (f <= 0 || !valid_) return -1;
    const double l = logScale_ ? std::log10(static_cast<double>(f)) : static_cast<double>(f);
    const double r = freqOffset_ - freqScale_ * l;
    if (!(r > -2.0 && r < 1.0e9)) return -1;
    const auto row = static_cast<int32_t>(r);  // toward zero
    return (row >= rowMin_ && row <= rowMax_) ? row : -1;
}

void FrequencyAxis::AddBar(int64_t hz, int32_t textHeight) {
    const int32_t row = RowOfFrequency(hz * 1000);
    if (row <= rowMin_ || barCount_ >= kMaxBars) return;
    Bar& bar = bars_[static_cast<size_t>(barCount_++)];
    bar.row = row;
    bar.label.clear();
    if (!(row - textHeight / 2 > rowMin_ && row + textHeight / 2 < rowMax_)) return;
    char text[16] = "";
    if (hz < 1000) {
        std::snprintf(text, sizeof text, "%3d", static_cast<int>(hz));
    } else if (hz < 10000) {
        if (hz % 1000 == 0) std::snprintf(text, sizeof text, "%3d", static_cast<int>(hz / 1000));
    } else {
        std::snprintf(text, sizeof text, "%3d", static_cast<int>(hz / 1000));
    }
    bar.label.assign(text, std::min<size_t>(5, std::char_traits<char>::length(text)));
}

void FrequencyAxis::BuildBars(int32_t textHeight) {
    for (Bar& b : bars_) {
        b.row = 0;
        b.label.clear();
    }
    barCount_ = 0;
    if (!valid_) return;
    if (logScale_) {
        static const double kThresholds[] = {22, 17.5, 12.7, 10.5, 8, 5.7, 3.5, 2.1, 1};
        static const std::vector<std::vector<int>> kSets = {
            {10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 45, 50, 60, 70, 80, 90},
            {10, 12, 15, 20, 25, 30, 35, 40, 50, 60, 70, 80},
            {10, 12, 15, 20, 25, 30, 40, 50, 60, 80},
            {10, 15, 20, 30, 40, 60, 80},
            {10, 15, 20, 30, 50, 70},
            {10, 20, 40, 60},
            {10, 20, 50},
            {10, 30},
            {10}};
        for (size_t k = 0; k < std::size(kThresholds); ++k) {
            if (freqScale_ > textHeight * kThresholds[k]) {
                for (int64_t d = 1; d < 99999; d *= 10) {
                    for (int m : kSets[k]) AddBar(d * m, textHeight);
                }
                return;
            }
        }
    } else {
        static const double kThresholds[] = {5, 2, 1, 0.5, 0.2, 0.1, 0.05, 0.02, 0.01};
        static const int64_t kSteps[] = {200, 500, 1000, 2000, 5000, 10000, 20000, 50000, 100000};
        const int64_t top = (static_cast<int64_t>(fMax_) + 500) / 1000;
        const double u = textHeight * 1e-6;
        for (size_t k = 0; k < std::size(kThresholds); ++k) {
            if (freqScale_ > u * kThresholds[k]) {
                for (int64_t hz = kSteps[k]; hz <= top; hz += kSteps[k]) AddBar(hz, textHeight);
                return;
            }
        }
    }
}
