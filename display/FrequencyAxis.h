#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>

// The vertical scale: frequencies (mHz) to plot rows, linear or logarithmic between fMin and
// fMax, and the table of horizontal grid lines with their labels. Row 0 is the plot's top.
class FrequencyAxis {
  public:
    static constexpr int32_t kMaxBars = 128;

    struct Bar {
        int32_t row = 0;
        std::string label;  // at most 5 characters; empty when the line is unlabelled
    };

    // Computes the mapping. A range that cannot be mapped (fMin <= 0 on the log scale, or
    // fMax <= fMin) maps every frequency to -1.
    void Configure(int32_t fMin, int32_t fMax, bool logScale, int32_t plotHeight, int32_t rowMin,
                   int32_t rowMax);
    // The row of frequency `f` (mHz), or -1 outside rowMin..rowMax.
    int32_t RowOfFrequency(int64_t f) const;
    // Rebuilds the grid-line table for a font `textHeight` pixels high.
    void BuildBars(int32_t textHeight);

    std::span<const Bar> bars() const { return {bars_.data(), static_cast<size_t>(barCount_)}; }
    double freqScale() const { return freqScale_; }
    double freqOffset() const { return freqOffset_; }
    bool logScale() const { return logScale_; }
    int32_t rowMin() const { return rowMin_; }
    int32_t rowMax() const { return rowMax_; }

  private:
    void AddBar(int64_t hz, int32_t textHeight);

    int32_t fMin_ = 0, fMax_ = 0;
    bool logScale_ = false;
    bool valid_ = false;
    int32_t height_ = 0, rowMin_ = 0, rowMax_ = 0;
    double freqScale_ = 0.0, freqOffset_ = 0.0;
    std::array<Bar, kMaxBars> bars_{};
    int32_t barCount_ = 0;
};
