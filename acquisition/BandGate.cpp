#include "acquisition/BandGate.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace acquisition {

BandGate::BandGate(const BandBackground& background, double cutOffHz)
    : background_(background),
      frames_(background.sampleRate()),
      above_(std::pow(10.0, kAboveBackgroundDb / 10)),
      frameAbove_(std::pow(10.0, kFrameAboveBackgroundDb / 10)),
      overlap_(static_cast<size_t>(frames_.size()), 0.0),
      fft_(static_cast<size_t>(frames_.size())),
      work_(static_cast<size_t>(frames_.bins())),
      frameSamples_(static_cast<size_t>(frames_.size())),
      response_(static_cast<size_t>(frames_.bins()), 1.0) {
    // Below the cut-off the gain falls to nothing over an octave, smoothly: a brick wall
    // would ring before a call's abrupt start and put dots far below it.
    for (int k = 0; k < frames_.bins(); ++k) {
        const double octaves = std::log2(k * background.sampleRate() / frames_.size() / cutOffHz);
        if (octaves < 0) {
            response_[static_cast<size_t>(k)] =
                octaves <= -1 ? 0 : 0.5 + 0.5 * std::cos(std::numbers::pi * octaves);
        }
    }
}

void BandGate::feed(std::span<const float> samples, std::vector<float>& out) {
    for (size_t i = 0; i < samples.size(); ++i) {
        if (!std::isfinite(samples[i])) nonFinite_.push_back(fed_ + static_cast<int64_t>(i));
    }
    fed_ += static_cast<int64_t>(samples.size());
    frames_.add(samples, [&](int64_t frame, auto spectrum, auto own, auto smoothed) {
        keep(frame, spectrum, own, smoothed, out);
    });
}

void BandGate::finish(std::vector<float>& out) {
    frames_.finish([&](int64_t frame, auto spectrum, auto own, auto smoothed) {
        keep(frame, spectrum, own, smoothed, out);
    });
}

void BandGate::keep(int64_t frame, std::span<std::complex<double>> spectrum,
                    std::span<const double> own, std::span<const double> smoothed,
                    std::vector<float>& out) {
    const int n = frames_.size();
    const int bins = frames_.bins();
    for (int k = 0; k < bins; ++k) {
        const auto i = static_cast<size_t>(k);
        const double background = background_.level(frame, k);
        if (background == 0) {
            // Digital silence (a recorder's padding, a synthesised file): there is nothing to
            // take away, and the crossing counter's own filter cuts off as it always has.
            work_[i] = spectrum[i];
            continue;
        }
        const bool kept = smoothed[i] > above_ * background && own[i] > frameAbove_ * background;
        work_[i] = kept ? spectrum[i] * response_[i] : 0.0;
    }
    fft_.inverse(work_, frameSamples_);
    const std::span<const double> window = frames_.window();
    for (size_t i = 0; i < overlap_.size(); ++i) overlap_[i] += frameSamples_[i] * window[i];

    // The frame's first hop of samples has had every frame that covers it. The frames begin
    // size - hop samples before the recording does; those samples are not given.
    const int hop = frames_.hop();
    const int64_t firstSample = frame * hop - (n - hop);
    for (int i = 0; i < hop; ++i) {
        const int64_t sample = firstSample + i;
        if (sample < given_ || sample >= fed_) continue;
        float value = static_cast<float>(overlap_[static_cast<size_t>(i)]);
        if (!nonFinite_.empty() && nonFinite_.front() == sample) {
            value = std::numeric_limits<float>::quiet_NaN();
            nonFinite_.pop_front();
        }
        out.push_back(value);
        ++given_;
    }
    std::shift_left(overlap_.begin(), overlap_.end(), hop);
    std::fill(overlap_.end() - hop, overlap_.end(), 0.0);
}

}  // namespace acquisition
