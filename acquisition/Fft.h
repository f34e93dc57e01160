#pragma once
#include <complex>
#include <span>
#include <vector>

namespace acquisition {

// The discrete Fourier transform of real frames of one size N (a power of two, at least 4),
// worked as a complex transform of half the size: the even samples as real parts, the odd
// ones as imaginary parts. Twiddle factors and the bit-reversal order are worked out once.
class Fft {
  public:
    explicit Fft(size_t size);

    size_t size() const { return 2 * half_; }

    // The spectrum of `samples` (N values), bins 0 .. N/2, into `spectrum` (N/2 + 1 values).
    void forward(std::span<const double> samples, std::span<std::complex<double>> spectrum);
    // The samples (N values) whose bins 0 .. N/2 are `spectrum`: forward's inverse.
    void inverse(std::span<const std::complex<double>> spectrum, std::span<double> samples);

  private:
    // In place on work_, the complex transform of size N/2; `sign` -1 forward, +1 inverse.
    void complexTransform(double sign);

    size_t half_;
    std::vector<size_t> reversed_;  // the bit-reversed index of each index below N/2
    // e^(-2πik/N) for k < N/2 as plain doubles: std::complex's product guards against
    // infinities at a cost that would dominate the transform.
    std::vector<double> cos_;
    std::vector<double> sin_;
    std::vector<double> work_;  // N/2 complex values, real and imaginary parts in turn
};

}  // namespace acquisition
