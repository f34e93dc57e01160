#pragma once
#include <cmath>
#include <numbers>

namespace acquisition {

// A 2nd-order Butterworth high-pass (direct form I), shared by the crossing counter and the
// noise measurement so that both hear the same band.
class HighPassFilter {
  public:
    HighPassFilter(double cutOffHz, double sampleRate) {
        const double w = 2 * std::numbers::pi * cutOffHz / sampleRate;
        const double alpha = std::sin(w) / (2 * std::numbers::sqrt2 / 2);  // Q = 1/√2
        const double a0 = 1 + alpha;
        const double c = std::cos(w);
        b0_ = (1 + c) / 2 / a0;
        b1_ = -(1 + c) / a0;
        b2_ = b0_;
        a1_ = -2 * c / a0;
        a2_ = (1 - alpha) / a0;
    }

    double operator()(double x) {
        const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

    void reset() { x1_ = x2_ = y1_ = y2_ = 0; }

  private:
    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

}  // namespace acquisition
