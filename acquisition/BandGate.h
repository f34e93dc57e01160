#pragma once
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "acquisition/BandBackground.h"
#include "acquisition/SmoothedFrames.h"

namespace acquisition {

// Keeps of a recording only what stands above its background at that frequency and moment:
// a bin of a frame is kept when its neighbourhood (see SmoothedFrames) stands
// kAboveBackgroundDb above the background and the bin itself, in that frame, stands
// kFrameAboveBackgroundDb above it. A call only 3-7 dB above a recording's whole-band hiss
// stands 10 dB or more above the background of its own few kilohertz; with the rest of the
// band shut out, the zero crossings follow the call instead of the hiss. The second test
// keeps a loud call's neighbourhood from letting the hiss of the frames just before and after
// it through, where its crossings would lengthen the call and put dots far off its track.
//
// The kept frames are transformed back and overlapped, so the samples come out as many as
// went in and in the same places, a few frames late. A sample that was not a finite number
// comes out as it went in, for the crossing counter to report.
class BandGate {
  public:
    static constexpr double kAboveBackgroundDb = 8;
    static constexpr double kFrameAboveBackgroundDb = 6;

    // `background` measured on the same recording; it must outlive the gate.
    BandGate(const BandBackground& background, double cutOffHz);

    // Takes the next samples and appends to `out` those that are done.
    void feed(std::span<const float> samples, std::vector<float>& out);
    // Appends the rest: `out` has then had as many samples as were fed.
    void finish(std::vector<float>& out);

  private:
    void keep(int64_t frame, std::span<std::complex<double>> spectrum, std::span<const double> own,
              std::span<const double> smoothed, std::vector<float>& out);

    const BandBackground& background_;
    SmoothedFrames frames_;
    double above_;
    double frameAbove_;
    std::vector<double> overlap_;  // sums of the frames from the oldest unfinished sample on
    Fft fft_;
    std::vector<std::complex<double>> work_;  // the kept bins of a frame
    std::vector<double> frameSamples_;        // and the samples they make
    std::vector<double> response_;            // the gain of each bin for the cut-off
    int64_t fed_ = 0;
    int64_t given_ = 0;              // samples appended to an `out`
    std::deque<int64_t> nonFinite_;  // where they were, until they are given back
};

}  // namespace acquisition
