#include "acquisition/SmoothedFrames.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace acquisition {

namespace {

int frameSize(double sampleRate) {
    int size = 16;
    while (size < sampleRate * SmoothedFrames::kFrameSeconds && size < (1 << 16)) size *= 2;
    return size;
}

}  // namespace

SmoothedFrames::SmoothedFrames(double sampleRate)
    : size_(frameSize(sampleRate)),
      fft_(static_cast<size_t>(size_)),
      window_(static_cast<size_t>(size_)),
      input_(static_cast<size_t>(size_), 0.0F),
      at_(static_cast<size_t>(size_ - size_ / 2)),
      taken_(size_ - size_ / 2),
      spectra_(kSmoothFrames, std::vector<std::complex<double>>(static_cast<size_t>(bins()))),
      power_(kSmoothFrames, std::vector<double>(static_cast<size_t>(bins()))),
      frameSamples_(static_cast<size_t>(size_)),
      smoothed_(static_cast<size_t>(bins())) {
    for (int i = 0; i < size_; ++i) {
        window_[static_cast<size_t>(i)] = std::sin(std::numbers::pi * i / size_);
    }
}

void SmoothedFrames::add(std::span<const float> samples, const Frame& frame) {
    for (const float sample : samples) {
        push(std::isfinite(sample) ? sample : 0.0F, frame);
        ++samples_;
    }
}

void SmoothedFrames::push(float sample, const Frame& frame) {
    input_[at_] = sample;
    if (++at_ == input_.size()) at_ = 0;
    ++taken_;
    // The ring holds two hops: a frame is complete whenever the ring is full or half full.
    if ((at_ == 0 || at_ == input_.size() / 2) && taken_ >= size_) transform(frame);
}

void SmoothedFrames::finish(const Frame& frame) {
    if (samples_ == 0) return;
    // The last frame holding a sample of the recording, and its neighbours after it.
    const int64_t last = (samples_ - 1 + size_ - hop()) / hop();
    while (handedOn_ <= last) push(0.0F, frame);
}

void SmoothedFrames::transform(const Frame& frame) {
    const auto n = static_cast<size_t>(size_);
    const auto nBins = static_cast<size_t>(bins());
    // The oldest sample is the one the next will overwrite.
    const size_t oldest = at_;
    for (size_t i = 0; i < n - oldest; ++i) frameSamples_[i] = input_[oldest + i] * window_[i];
    for (size_t i = n - oldest; i < n; ++i) {
        frameSamples_[i] = input_[i - (n - oldest)] * window_[i];
    }
    const auto slot = static_cast<size_t>(computed_ % kSmoothFrames);
    std::vector<std::complex<double>>& spectrum = spectra_[slot];
    fft_.forward(frameSamples_, spectrum);
    constexpr int reach = kSmoothBins / 2;
    for (size_t k = 0; k < nBins; ++k) {
        const size_t from = k >= reach ? k - reach : 0;
        const size_t to = std::min(nBins - 1, k + reach);
        double sum = 0;
        for (size_t j = from; j <= to; ++j) sum += std::norm(spectrum[j]);
        power_[slot][k] = sum / static_cast<double>(to - from + 1);
    }
    ++computed_;

    // The frame in the middle of the latest kSmoothFrames, averaged over those that exist.
    constexpr int64_t half = kSmoothFrames / 2;
    const int64_t centre = computed_ - 1 - half;
    if (centre < 0) return;
    std::fill(smoothed_.begin(), smoothed_.end(), 0.0);
    const int64_t first = std::max<int64_t>(0, centre - half);
    for (int64_t m = first; m < computed_; ++m) {
        const auto& p = power_[static_cast<size_t>(m % kSmoothFrames)];
        for (size_t k = 0; k < nBins; ++k) smoothed_[k] += p[k];
    }
    for (double& s : smoothed_) s /= static_cast<double>(computed_ - first);
    const auto c = static_cast<size_t>(centre % kSmoothFrames);
    frame(centre, spectra_[c], power_[c], smoothed_);
    ++handedOn_;
}

}  // namespace acquisition
