#include "acquisition/Fft.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace acquisition {

Fft::Fft(size_t size)
    : half_(size / 2), reversed_(half_), cos_(half_), sin_(half_), work_(2 * half_) {
    for (size_t i = 1, j = 0; i < half_; ++i) {
        size_t bit = half_ >> 1;
        for (; (j & bit) != 0; bit >>= 1) j ^= bit;
        j ^= bit;
        reversed_[i] = j;
    }
    for (size_t k = 0; k < half_; ++k) {
        const double angle =
            -2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(size);
        cos_[k] = std::cos(angle);
        sin_[k] = std::sin(angle);
    }
}

void Fft::complexTransform(double sign) {
    const size_t n = half_;
    double* v = work_.data();
    for (size_t i = 1; i < n; ++i) {
        const size_t j = reversed_[i];
        if (i < j) {
            std::swap(v[2 * i], v[2 * j]);
            std::swap(v[2 * i + 1], v[2 * j + 1]);
        }
    }
    for (size_t span = 1; span < n; span <<= 1) {
        // The twiddles of a transform of size n are every second one of size 2n.
        const size_t stride = 2 * n / (2 * span);
        for (size_t start = 0; start < n; start += 2 * span) {
            for (size_t k = 0; k < span; ++k) {
                const double wr = cos_[k * stride];
                const double wi = -sign * sin_[k * stride];
                const size_t a = 2 * (start + k);
                const size_t b = a + 2 * span;
                const double re = v[b] * wr - v[b + 1] * wi;
                const double im = v[b] * wi + v[b + 1] * wr;
                v[b] = v[a] - re;
                v[b + 1] = v[a + 1] - im;
                v[a] += re;
                v[a + 1] += im;
            }
        }
    }
}

void Fft::forward(std::span<const double> samples, std::span<std::complex<double>> spectrum) {
    const size_t m = half_;
    for (size_t k = 0; k < 2 * m; ++k) work_[k] = samples[k];
    complexTransform(-1);
    // Z = E + iO, with E and O the spectra of the even and the odd samples; X = E + W^k O.
    for (size_t k = 0; k <= m; ++k) {
        const size_t a = k < m ? k : 0;
        const size_t b = k > 0 ? m - k : 0;
        const double zr = work_[2 * a], zi = work_[2 * a + 1];
        const double cr = work_[2 * b], ci = -work_[2 * b + 1];  // conj(Z[m - k])
        const double er = (zr + cr) / 2, ei = (zi + ci) / 2;
        // (Z - conj) / 2i
        const double orr = (zi - ci) / 2, oi = -(zr - cr) / 2;
        const double wr = k < m ? cos_[k] : -1.0;
        const double wi = k < m ? sin_[k] : 0.0;
        spectrum[k] = {er + wr * orr - wi * oi, ei + wr * oi + wi * orr};
    }
}

void Fft::inverse(std::span<const std::complex<double>> spectrum, std::span<double> samples) {
    const size_t m = half_;
    for (size_t k = 0; k < m; ++k) {
        const std::complex<double> x = spectrum[k];
        const std::complex<double> c = std::conj(spectrum[m - k]);
        const double er = (x.real() + c.real()) / 2, ei = (x.imag() + c.imag()) / 2;
        const double dr = (x.real() - c.real()) / 2, di = (x.imag() - c.imag()) / 2;
        // O = (X - conj) / 2 · W^-k; Z = E + iO.
        const double wr = cos_[k], wi = -sin_[k];
        const double orr = dr * wr - di * wi, oi = dr * wi + di * wr;
        work_[2 * k] = er - oi;
        work_[2 * k + 1] = ei + orr;
    }
    complexTransform(1);
    const double scale = 1.0 / static_cast<double>(m);
    for (size_t k = 0; k < 2 * m; ++k) samples[k] = work_[k] * scale;
}

}  // namespace acquisition
