// The command line's one FFT: the transform the delay search correlates with and
// the sweep deconvolves with.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace cli {

using Spectrum = std::vector<std::complex<double>>;

// The smallest power of two at least `n` (1 for 0).
std::size_t fftLength(std::size_t n);

// In-place radix-2 FFT; the length must be a power of two. `inverse` leaves out the 1/N.
void fft(Spectrum& x, bool inverse);

// `values` zero-padded to `length` (a power of two) and transformed.
Spectrum forwardTransform(const std::vector<double>& values, std::size_t length);

// a times b's conjugate, written out: std::complex's operator* checks for infinities.
inline std::complex<double> timesConjugate(std::complex<double> a, std::complex<double> b) {
    return {a.real() * b.real() + a.imag() * b.imag(), a.imag() * b.real() - a.real() * b.imag()};
}

}  // namespace cli
