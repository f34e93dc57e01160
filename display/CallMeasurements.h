#pragma once
#include <cstdint>
#include <span>
#include <vector>

// The calls of one sequence and what a biologist measures on each. A call is what a person
// marks as one call on a spectrogram: the dots the call filter keeps at a level, with a
// defined frequency, joined across drop-outs shorter than kMergeGapUs; runs shorter than
// kMinCallDots dots or kMinCallUs are blips, not calls; and a fragment that follows a call
// within kEchoWindowUs, inside its frequency range and much shorter than it, is an echo of
// that call (or its reverberation), not a call. The numbers come from real recordings of
// three makers' detectors (see the README). The measurements follow the dots' frequency
// track, taken in octaves against time so that a sweep that is steady on a log scale has one
// slope.
class CallMeasurements {
  public:
    // Dots of one call further apart than this are two calls. Drop-outs inside calls on the
    // recordings are 0.2-0.5 ms; the fragments of an echo trail lie 0.5-1.8 ms apart and
    // two calls of a pair 3.5 ms apart.
    static constexpr int64_t kMergeGapUs = 1200;
    // Fewer dots or a shorter span is a blip: the noise of a recording above the threshold
    // gives runs of 3-5 dots within 0.2-0.6 ms; the shortest calls on the recordings (steep
    // sweeps of 1 ms) have 6 dots or more.
    static constexpr int32_t kMinCallDots = 6;
    static constexpr int64_t kMinCallUs = 800;
    // An echo starts at most this long after its call ends (the reverberation of a loud
    // 12 ms call lasts 26 ms after it), and no later than kEchoWindowCalls times the call's
    // duration after it: the next call of a bat calling fast is never that close, while its
    // weak fragments would look like echoes. It lasts less than kEchoShare of the call and
    // lies within the call's frequency range widened by kEchoRangeMargin on either side.
    static constexpr int64_t kEchoWindowUs = 40000;
    // An echo trail runs on without a pause: each echo starts at most this long after the
    // call or the echo before it. A fragment after a longer silence is the next call of a
    // bat calling fast, weak enough to come in pieces (on the recordings, trails' pieces
    // lie 1-8 ms apart and such calls start 15 ms and more after the trail).
    static constexpr int64_t kEchoTrailGapUs = 10000;
    // A call's quiet tail can break off at a longer drop-out. A steady run (the central
    // four fifths of its dots within kTailSpread of each other) of at least kMinTailUs that
    // starts within kTailGapUs of the call or of its last echo, with its mean frequency in
    // the call's widened range, is the rest of that call: on the recordings such tails
    // follow the call's steep start after 2-6 ms and last 3-17 ms. A second bat's call
    // 3.5 ms later, or a cloud of reverberation, sweeps over half an octave or more.
    static constexpr int64_t kTailGapUs = 6000;
    static constexpr int64_t kMinTailUs = 3000;
    static constexpr double kTailSpread = 1.25;
    static constexpr int64_t kEchoWindowCalls = 3;
    static constexpr double kEchoShare = 0.5;
    static constexpr double kEchoRangeMargin = 0.2;

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
                                  // and for an echo
        bool echo = false;        // an echo of the call before it
    };

    // How much of a call to measure: everything; the extent (times, dots, fmin, fmax, fmean)
    // and the characteristic part (fchar, slope) without the knee; or the extent only. What
    // is not measured stays 0.
    enum class Detail { kAll, kCharacteristic, kExtent };

    // The calls of dots 0 .. count-1 at filter level `level` (times in microseconds,
    // frequencies in thousandths of a hertz, 0 where not defined). As in the view, dots
    // outside fminMhz .. fmaxMhz are not shown; a jump of an octave or more between
    // neighbouring shown dots ends a call. Echoes are left out unless `withEchoes`; each is
    // then marked and follows its call. A call's measurements use its shown dots only, and
    // go as far as `detail`; which calls are found does not depend on it.
    static std::vector<Call> Find(std::span<const int32_t> times,
                                  std::span<const int32_t> frequency, int32_t count, int32_t level,
                                  int32_t fminMhz, int32_t fmaxMhz, bool withEchoes = false,
                                  Detail detail = Detail::kAll);

    // The measurements of dots first .. last (at least one dot, each with a defined
    // frequency); `tbcUs` is left at -1.
    static Call Measure(std::span<const int32_t> times, std::span<const int32_t> frequency,
                        int32_t first, int32_t last, Detail detail = Detail::kAll);

    // The median of the calls' characteristic frequencies; 0 when there are none.
    static double MedianFchar(const std::vector<Call>& calls);
};
