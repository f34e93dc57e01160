#pragma once
#include <complex>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "acquisition/Fft.h"

namespace acquisition {

// A recording cut into overlapping frames and transformed, each frame handed
// on with its power smoothed over its neighbours in time and frequency. A weak call is a
// track that runs through several frames and bins, while the background's chance peaks
// stand alone; averaging over kSmoothFrames × kSmoothBins lets a threshold a few dB above
// the background tell them apart.
//
// Frames are about kFrameSeconds long (a power of two of samples), windowed by the square
// root of a Hann window, and overlap by half. Frame m covers samples m·hop − hop ..
// m·hop + hop − 1, the samples before the first taken as silence, so that every sample lies
// in two whole frames.
class SmoothedFrames {
  public:
    static constexpr double kFrameSeconds = 0.0013;
    static constexpr int kSmoothFrames = 5;
    static constexpr int kSmoothBins = 5;

    // Frame index, the frame's spectrum (bins 0 .. size/2), its power smoothed over
    // frequency only, and over time as well.
    using Frame = std::function<void(int64_t, std::span<std::complex<double>>,
                                     std::span<const double>, std::span<const double>)>;

    // `sampleRate` at real time (a time-expanded recording's rate times its expansion).
    explicit SmoothedFrames(double sampleRate);

    int size() const { return size_; }
    int hop() const { return size_ / 2; }
    // The analysis window; a frame changed in its spectrum is windowed again when it is put
    // back, and the squares of the windows of overlapping frames add up to 1.
    std::span<const double> window() const { return window_; }
    int bins() const { return size_ / 2 + 1; }

    // Takes the next samples; a sample that is not a finite number counts as silence. Hands
    // on every frame whose neighbours have all come in.
    void add(std::span<const float> samples, const Frame& frame);
    // Hands on the rest, up to the last frame that holds one of the samples taken.
    void finish(const Frame& frame);

  private:
    void push(float sample, const Frame& frame);
    void transform(const Frame& frame);

    int size_;
    Fft fft_;
    std::vector<double> window_;
    std::vector<float> input_;  // the latest `size_` samples, a ring
    size_t at_ = 0;             // where the next sample goes in it, and the oldest sample
    int64_t taken_ = 0;         // samples taken, silence in front included
    int64_t samples_ = 0;       // samples taken from the recording
    int64_t computed_ = 0;      // frames transformed
    int64_t handedOn_ = 0;      // frames handed on
    // The latest kSmoothFrames frames, as ring buffers indexed by frame % kSmoothFrames.
    std::vector<std::vector<std::complex<double>>> spectra_;
    std::vector<std::vector<double>> power_;  // smoothed over frequency already
    std::vector<double> frameSamples_;
    std::vector<double> smoothed_;
};

}  // namespace acquisition
