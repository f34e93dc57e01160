#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "acquisition/SmoothedFrames.h"

namespace acquisition {

// A recording's background (the detector's hiss, wind, insects that sing all night) at each
// frequency and moment, measured on the frames of SmoothedFrames, so that a
// BandGate can keep what stands above it. The frames are taken kStepSeconds at a time;
// a step's level in each bin is the median of its frames, and the background at a step is
// the median of the steps within kWindowSteps either side: calls fill a small share of
// any half second, so the medians are the background's.
class BandBackground {
  public:
    static constexpr double kStepSeconds = 0.05;
    static constexpr int kWindowSteps = 5;

    explicit BandBackground(double sampleRate);

    // Takes the next samples (full scale ±1; a sample that is not a finite number counts as
    // silence).
    void add(std::span<const float> samples);
    // Call once after the last samples, before asking for levels.
    void finish();

    // The background power of a bin in a frame (as SmoothedFrames numbers them); the
    // first and last steps stand for the frames before and after them.
    double level(int64_t frame, int bin) const;

    double sampleRate() const { return sampleRate_; }

  private:
    void takeFrame(std::span<const double> smoothed);
    void closeStep();

    double sampleRate_;
    SmoothedFrames frames_;
    int64_t framesPerStep_;
    size_t bins_;
    std::vector<double> step_;        // this step's frames, frame after frame
    std::vector<float> stepMedians_;  // every step's median per bin, step after step
    std::vector<float> levels_;       // the background per step and bin
};

}  // namespace acquisition
