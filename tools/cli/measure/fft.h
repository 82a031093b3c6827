// The command line's FFT: the transform the delay search correlates with, the
// sweep deconvolves with and the windows' spectra are made of. A plan holds what
// depends on the length alone (twiddles, the order of the input); it is made once
// per length, and its transforms only read it, so that threads share one plan.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cli {

using Spectrum = std::vector<std::complex<double>>;

// The smallest power of two at least `n` (1 for 0).
std::size_t fftLength(std::size_t n);

// A complex transform of a power-of-two length: radix 4 (one radix-2 stage when
// the length is an odd power of two), decimation in time.
class FftPlan {
public:
    explicit FftPlan(std::size_t length);
    std::size_t size() const { return n_; }
    // In place over size() values. `inverse` turns the other way and leaves out the 1/N.
    void transform(std::complex<double>* x, bool inverse) const;

private:
    std::size_t n_;
    std::vector<std::uint32_t> swaps_;  // pairs of positions exchanged to put the input in bit-reversed order
    // Per radix-4 stage, for each k of its quarter: w^k, w^2k, w^3k.
    std::vector<std::complex<double>> twiddles_;
};

// The transform of a power-of-two number (at least 2) of real values through a
// complex one of half the length.
class RealFftPlan {
public:
    explicit RealFftPlan(std::size_t length);
    std::size_t size() const { return n_; }
    // size() values in; bins 0..size()/2 out (the rest mirror them).
    void forward(const double* values, std::complex<double>* bins) const;
    // Bins 0..size()/2 of a real signal's spectrum in; size() values out, not divided by N.
    void inverse(const std::complex<double>* bins, double* values) const;

private:
    std::size_t n_;
    FftPlan half_;
    std::vector<std::complex<double>> turns_;  // e^(-2 pi i k / N), k = 0..N/4
};

// In-place transform; the length must be a power of two. `inverse` leaves out the 1/N.
void fft(Spectrum& x, bool inverse);

// `values` zero-padded to `length` (a power of two) and transformed.
Spectrum forwardTransform(const std::vector<double>& values, std::size_t length);

// a times b's conjugate, written out: std::complex's operator* checks for infinities.
inline std::complex<double> timesConjugate(std::complex<double> a, std::complex<double> b) {
    return {a.real() * b.real() + a.imag() * b.imag(), a.imag() * b.real() - a.real() * b.imag()};
}

// a times b, written out.
inline std::complex<double> times(std::complex<double> a, std::complex<double> b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

}  // namespace cli
