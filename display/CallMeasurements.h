#pragma once
#include <cstdint>
#include <span>
#include <vector>

// The calls of one sequence and what a biologist measures on each. A call is a run of
// consecutive dots that the call filter keeps at a level and whose frequency is defined;
// the measurements follow the dots' frequency track, taken in octaves against time so that
// a sweep that is steady on a log scale has one slope.
class CallMeasurements {
  public:
    struct Call {
        int32_t first = 0;  // index of the first dot
        int32_t last = 0;   // index of the last dot (inclusive)
        int64_t startUs = 0;
        int64_t durationUs = 0;
        int32_t dots = 0;
        double fmaxKhz = 0;
        double fminKhz = 0;
        double fmeanKhz = 0;      // mean over the dots
        double fcharKhz = 0;      // at the end of the flattest part of the final 40 %
        double fkneeKhz = 0;      // where the steep start bends into that flattest part
        double slopeOctPerS = 0;  // of that flattest part; negative for a falling call
        int64_t tbcUs = -1;       // since the previous call's start; -1 for the first call
    };

    // The calls of dots 0 .. count-1 at filter level `level` (times in microseconds,
    // frequencies in thousandths of a hertz, 0 where not defined). As in the view, dots
    // outside fminMhz .. fmaxMhz are not shown and so end a call; so does a
    // jump of an octave or more between neighbouring dots.
    static std::vector<Call> Find(std::span<const int32_t> times,
                                  std::span<const int32_t> frequency, int32_t count, int32_t level,
                                  int32_t fminMhz, int32_t fmaxMhz);

    // The measurements of dots first .. last (at least one dot, each with a defined
    // frequency); `tbcUs` is left at -1.
    static Call Measure(std::span<const int32_t> times, std::span<const int32_t> frequency,
                        int32_t first, int32_t last);

    // The median of the calls' characteristic frequencies; 0 when there are none.
    static double MedianFchar(const std::vector<Call>& calls);
};
