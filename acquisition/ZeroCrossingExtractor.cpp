#include "acquisition/ZeroCrossingExtractor.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace acquisition {

bool ZeroCrossingExtractor::valid(const Settings& s) {
    const double realRate = s.sampleRate * s.timeExpansion;
    return s.sampleRate > 0 && s.timeExpansion > 0 && s.ratio >= 1 && s.highPassHz > 0 &&
           s.highPassHz < 0.45 * realRate && s.hysteresisDb >= 0 && s.releaseSeconds > 0 &&
           std::isfinite(realRate) && std::isfinite(s.thresholdDb) &&
           std::isfinite(s.maskCeilingDb);
}

ZeroCrossingExtractor::ZeroCrossingExtractor(const Settings& s)
    : filter_(s.highPassHz, s.sampleRate * s.timeExpansion), hysteresisDb_(s.hysteresisDb) {
    // Everything is designed at the real sample rate: a time-expanded recording has the
    // bats' frequencies divided by F, and its cut-off and envelope time with them.
    const double realRate = s.sampleRate * s.timeExpansion;
    setThreshold(s.thresholdDb);
    decay_ = std::exp(-1 / (s.releaseSeconds * realRate));
    microsPerSample_ = 1e6 / realRate;
    ratio_ = s.ratio;
    maskCeiling_ = std::pow(10.0, s.maskCeilingDb / 20);
    maskBelowPeak_ = std::pow(10.0, -kMaskBelowPeakDb / 20);
    maskDecay_ = std::pow(10.0, -kMaskDecayDbPerMs / 20 * 1000 / realRate);
}

void ZeroCrossingExtractor::setThreshold(double thresholdDb) {
    open_ = std::pow(10.0, thresholdDb / 20);
    close_ = std::pow(10.0, (thresholdDb - hysteresisDb_) / 20);
    band_ = close_ / 2;
}

void ZeroCrossingExtractor::setThresholdSteps(std::vector<double> thresholdDb,
                                              int64_t samplesPerStep) {
    steps_ = std::move(thresholdDb);
    samplesPerStep_ = std::max<int64_t>(1, samplesPerStep);
    nextStepAt_ = steps_.empty() ? -1 : 0;
}

void ZeroCrossingExtractor::restart() {
    filter_.reset();
    envelope_ = 0;
    peak_ = 0;
    gateOpen_ = false;
    side_ = 0;
    previous_ = 0;
}

void ZeroCrossingExtractor::feed(std::span<const float> samples, std::vector<double>& kept) {
    for (const float sample : samples) {
        if (index_ == nextStepAt_) {
            const auto step = static_cast<size_t>(index_ / samplesPerStep_);
            setThreshold(steps_[std::min(step, steps_.size() - 1)]);
            nextStepAt_ = step + 1 < steps_.size() ? index_ + samplesPerStep_ : -1;
        }
        if (!std::isfinite(sample)) {
            if (firstNonFinite_ < 0) firstNonFinite_ = index_;
            ++nonFinite_;
            restart();
            ++index_;
            continue;
        }
        const double y = filter_(sample);

        // A peak follower: instant attack, exponential release.
        const double level = std::fabs(y);
        envelope_ = level > envelope_ ? level : envelope_ * decay_;
        // Below its ceiling the mask takes the place of the hysteresis: closing the gate
        // only under the mask's level less the hysteresis would let the reverberation in.
        peak_ = std::max(envelope_, peak_ * maskDecay_);
        const double mask =
            open_ < maskCeiling_ ? std::min(peak_ * maskBelowPeak_, maskCeiling_) : 0;
        gateOpen_ = envelope_ >= std::max(gateOpen_ ? close_ : open_, mask);

        // A comparator with hysteresis: a crossing counts once the signal has gone on to
        // the far side of a small band around zero. Without it the filter's own ringing
        // after a call ends, decaying towards nothing, would count as crossings.
        if ((previous_ < 0) != (y < 0)) {
            const double fraction = previous_ / (previous_ - y);
            pending_ = (static_cast<double>(index_) - 1 + fraction) * microsPerSample_;
        }
        const int32_t side = y > band_ ? 1 : (y < -band_ ? -1 : 0);
        if (side != 0 && side != side_) {
            if (side_ != 0 && gateOpen_ && ++count_ >= ratio_) {
                count_ = 0;
                kept.push_back(pending_);
            }
            side_ = side;
        }
        previous_ = y;
        ++index_;
    }
}

}  // namespace acquisition
