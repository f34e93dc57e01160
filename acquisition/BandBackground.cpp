#include "acquisition/BandBackground.h"

#include <algorithm>
#include <cmath>

namespace acquisition {

namespace {

template <typename T>
T median(std::vector<T>& values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

BandBackground::BandBackground(double sampleRate)
    : sampleRate_(sampleRate),
      frames_(sampleRate),
      framesPerStep_(std::max<int64_t>(1, std::llround(kStepSeconds * sampleRate / frames_.hop()))),
      bins_(static_cast<size_t>(frames_.bins())) {}

void BandBackground::add(std::span<const float> samples) {
    frames_.add(samples, [this](int64_t, auto, auto, std::span<const double> smoothed) {
        takeFrame(smoothed);
    });
}

void BandBackground::takeFrame(std::span<const double> smoothed) {
    step_.insert(step_.end(), smoothed.begin(), smoothed.end());
    if (static_cast<int64_t>(step_.size() / bins_) == framesPerStep_) closeStep();
}

void BandBackground::closeStep() {
    const size_t frames = step_.size() / bins_;
    std::vector<double> bin(frames);
    for (size_t k = 0; k < bins_; ++k) {
        for (size_t f = 0; f < frames; ++f) bin[f] = step_[f * bins_ + k];
        stepMedians_.push_back(static_cast<float>(median(bin)));
    }
    step_.clear();
}

void BandBackground::finish() {
    frames_.finish(
        [this](int64_t, auto, auto, std::span<const double> smoothed) { takeFrame(smoothed); });
    if (!step_.empty()) closeStep();

    const auto steps = static_cast<int64_t>(stepMedians_.size() / bins_);
    levels_.assign(stepMedians_.size(), 0.0F);
    std::vector<float> window;
    for (int64_t s = 0; s < steps; ++s) {
        const int64_t from = std::max<int64_t>(0, s - kWindowSteps);
        const int64_t to = std::min(steps - 1, s + kWindowSteps);
        for (size_t k = 0; k < bins_; ++k) {
            window.clear();
            for (int64_t w = from; w <= to; ++w) {
                window.push_back(stepMedians_[static_cast<size_t>(w) * bins_ + k]);
            }
            levels_[static_cast<size_t>(s) * bins_ + k] = median(window);
        }
    }
    // An hour at 384 kHz holds 18 million of them; the levels are all that is needed now.
    std::vector<float>().swap(stepMedians_);
}

double BandBackground::level(int64_t frame, int bin) const {
    if (levels_.empty()) return 0;
    const auto steps = static_cast<int64_t>(levels_.size() / bins_);
    const int64_t s = std::clamp<int64_t>(frame / framesPerStep_, 0, steps - 1);
    return levels_[static_cast<size_t>(s) * bins_ + static_cast<size_t>(bin)];
}

}  // namespace acquisition
