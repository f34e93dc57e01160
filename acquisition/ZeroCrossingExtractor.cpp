#include "acquisition/ZeroCrossingExtractor.h"

#include <cmath>
#include <numbers>

namespace acquisition {

bool ZeroCrossingExtractor::valid(const Settings& s) {
    const double realRate = s.sampleRate * s.timeExpansion;
    return s.sampleRate > 0 && s.timeExpansion > 0 && s.ratio >= 1 && s.highPassHz > 0 &&
           s.highPassHz < 0.45 * realRate && s.hysteresisDb >= 0 && s.releaseSeconds > 0 &&
           std::isfinite(realRate) && std::isfinite(s.thresholdDb);
}

ZeroCrossingExtractor::ZeroCrossingExtractor(const Settings& s) {
    // Everything is designed at the real sample rate: a time-expanded recording has the
    // bats' frequencies divided by F, and its cut-off and envelope time with them.
    const double realRate = s.sampleRate * s.timeExpansion;
    const double w = 2 * std::numbers::pi * s.highPassHz / realRate;
    const double alpha = std::sin(w) / (2 * std::numbers::sqrt2 / 2);  // Q = 1/√2
    const double a0 = 1 + alpha;
    const double c = std::cos(w);
    b0_ = (1 + c) / 2 / a0;
    b1_ = -(1 + c) / a0;
    b2_ = b0_;
    a1_ = -2 * c / a0;
    a2_ = (1 - alpha) / a0;

    open_ = std::pow(10.0, s.thresholdDb / 20);
    close_ = std::pow(10.0, (s.thresholdDb - s.hysteresisDb) / 20);
    band_ = close_ / 2;
    decay_ = std::exp(-1 / (s.releaseSeconds * realRate));
    microsPerSample_ = 1e6 / realRate;
    ratio_ = s.ratio;
}

void ZeroCrossingExtractor::restart() {
    x1_ = x2_ = y1_ = y2_ = 0;
    envelope_ = 0;
    gateOpen_ = false;
    side_ = 0;
    previous_ = 0;
}

void ZeroCrossingExtractor::feed(std::span<const float> samples, std::vector<double>& kept) {
    for (const float sample : samples) {
        if (!std::isfinite(sample)) {
            if (firstNonFinite_ < 0) firstNonFinite_ = index_;
            ++nonFinite_;
            restart();
            ++index_;
            continue;
        }
        const double x = sample;
        const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;

        // A peak follower: instant attack, exponential release.
        const double level = std::fabs(y);
        envelope_ = level > envelope_ ? level : envelope_ * decay_;
        if (gateOpen_) {
            gateOpen_ = envelope_ >= close_;
        } else {
            gateOpen_ = envelope_ >= open_;
        }

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
