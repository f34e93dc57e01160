#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "acquisition/HighPassFilter.h"

namespace acquisition {

// The level of a recording's background (wind, rain, the detector's own hiss) at each moment,
// in the band the crossings are counted in, so that the gate can stand a fixed distance above
// it: a threshold in dB of full scale that suits a quiet logger lets a noisy handheld's hiss
// through as calls, and one that suits the handheld misses a quiet logger's weak calls.
//
// The audio is cut into blocks of kBlockSeconds; the background at a moment is the
// kQuietShare quantile of the blocks' levels within kWindowSeconds either side (calls fill at
// most a small share of any half second, the rest is background), and it is given for steps
// of kStepSeconds.
class NoiseFloor {
  public:
    static constexpr double kBlockSeconds = 0.002;
    static constexpr double kWindowSeconds = 0.25;
    static constexpr double kStepSeconds = 0.05;
    static constexpr double kQuietShare = 0.2;
    // A block at or below this is digital silence (16-bit audio's quietest step is -96 dB).
    static constexpr double kSilenceDb = -120;

    // `sampleRate` and `cutOffHz` as the extractor has them (both at the real rate).
    NoiseFloor(double sampleRate, double cutOffHz);

    // Takes the next samples (full scale ±1); a sample that is not a finite number counts as
    // silence and restarts the filter.
    void add(std::span<const float> samples);

    // The background in dB of full scale for each step, from the first sample on.
    std::vector<double> levelsDb() const;
    int64_t samplesPerStep() const { return samplesPerStep_; }

  private:
    HighPassFilter filter_;
    int64_t samplesPerBlock_;
    int64_t samplesPerStep_;
    int64_t inBlock_ = 0;
    double energy_ = 0;
    std::vector<float> blockDb_;
};

}  // namespace acquisition
