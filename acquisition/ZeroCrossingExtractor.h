#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "acquisition/HighPassFilter.h"

namespace acquisition {

// Turns full-spectrum audio into the zero-crossing intervals a frequency-division detector
// would report for it: the signal is high-pass filtered, its crossings of zero are counted
// only while its envelope stands above a threshold, and every Nth crossing is kept.
//
// Crossings are counted in both directions, so N crossings span N/2 periods and two
// successive intervals together span N periods: the usual frequency formula
// (N × 10^9 / the sum of the two latest intervals, in thousandths of a hertz) then gives the
// tone's frequency back. Crossing times are interpolated between samples and reported in
// microseconds of real time, so that a time-expanded recording (played back F times slower
// than the bats called) gives the same times as the original.
class ZeroCrossingExtractor {
  public:
    struct Settings {
        double sampleRate = 384000;     // samples per second of the recording
        double timeExpansion = 1;       // F: recorded time / real time
        int32_t ratio = 16;             // N: every Nth crossing is kept
        double highPassHz = 12000;      // real-time cut-off of the high-pass filter
        double thresholdDb = -36;       // envelope level (dB of full scale) that opens the gate
        double hysteresisDb = 6;        // the gate closes this far below the threshold
        double releaseSeconds = 0.001;  // real-time decay of the envelope
        // The highest level to which a loud sound's reverberation mask (below) may raise the
        // threshold; where the threshold is at or above it, there is no mask.
        double maskCeilingDb = -60;
    };

    // A loud sound raises the threshold to kMaskBelowPeakDb under its peak, falling
    // kMaskDecayDbPerMs each millisecond after it, but not above maskCeilingDb. A low threshold
    // that lets a faint distant bat's calls in would otherwise let in the reverberation that
    // follows a near bat's call 10-25 dB under it for 20-30 ms, and the call's row would take
    // it in (a pipistrelle's 6 ms call became a 22-26 ms row at -72 dB). The mask falls below
    // the faint calls' level well before the next call of a near bat.
    static constexpr double kMaskBelowPeakDb = 15;
    static constexpr double kMaskDecayDbPerMs = 0.5;

    explicit ZeroCrossingExtractor(const Settings& settings);

    // False when the settings cannot work: the cut-off must lie below the real Nyquist rate
    // and the other values must be positive.
    static bool valid(const Settings& settings);

    // Takes the next samples (full scale ±1) and appends the time of every kept crossing,
    // in microseconds of real time since the first sample, to `kept`. A sample that is not a
    // finite number (damaged audio) counts as silence and starts the filter, the envelope
    // and the comparator afresh, so that it cannot spoil every sample after it.
    void feed(std::span<const float> samples, std::vector<double>& kept);

    // From the first sample on, the threshold changes every `samplesPerStep` samples to the
    // next of `thresholdDb` (the last one holds to the end): a gate that follows the
    // recording's own background (see NoiseFloor). Call before the first feed.
    void setThresholdSteps(std::vector<double> thresholdDb, int64_t samplesPerStep);

    // Samples that were not finite numbers, and the index of the first (-1: none).
    int64_t nonFinite() const { return nonFinite_; }
    int64_t firstNonFinite() const { return firstNonFinite_; }

  private:
    void restart();

    void setThreshold(double thresholdDb);

    HighPassFilter filter_;
    double hysteresisDb_ = 6;
    std::vector<double> steps_;  // the threshold for each step of samplesPerStep_ samples
    int64_t samplesPerStep_ = 1;
    int64_t nextStepAt_ = -1;  // the sample index at which the next step begins; -1: none

    double open_ = 0;   // envelope level that opens the gate
    double close_ = 0;  // and that closes it again
    double decay_ = 0;  // envelope factor per sample
    double envelope_ = 0;
    double peak_ = 0;           // the envelope's held peak, decaying by maskDecay_ per sample
    double maskCeiling_ = 0;    // the highest level the mask opens at
    double maskBelowPeak_ = 0;  // the mask's level as a share of the peak
    double maskDecay_ = 0;
    bool gateOpen_ = false;

    double microsPerSample_ = 0;
    int32_t ratio_ = 16;
    int32_t count_ = 0;
    double band_ = 0;      // half-width of the comparator's hysteresis band
    int32_t side_ = 0;     // which side of the band the signal was last on: -1, 0, 1
    double pending_ = 0;   // the time of the newest zero crossing, counted once confirmed
    double previous_ = 0;  // the filtered sample before the current one
    int64_t index_ = 0;    // samples taken so far
    int64_t nonFinite_ = 0;
    int64_t firstNonFinite_ = -1;
};

}  // namespace acquisition
