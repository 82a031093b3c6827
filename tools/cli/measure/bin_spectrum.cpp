#include "measure/bin_spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "measure/fft.h"

namespace cli {

namespace {
constexpr double kPi = 3.14159265358979323846;

std::complex<double> times(std::complex<double> a, std::complex<double> b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}
}  // namespace

// Bluestein's chirp transform: the DFT of any length as a convolution of two
// power-of-two lengths. n^2 is taken modulo 2N so that the chirp's phases stay exact.
BinSpectrum binSpectrum(const std::vector<double>& window, double rate) {
    BinSpectrum s;
    s.rate = rate;
    s.length = window.size();
    const std::size_t n = window.size();
    if (n == 0) return s;
    const std::size_t m = fftLength(2 * n - 1);
    std::vector<std::complex<double>> chirp(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto sq = static_cast<unsigned long long>(i) * i % (2 * static_cast<unsigned long long>(n));
        const double angle = kPi * static_cast<double>(sq) / static_cast<double>(n);
        chirp[i] = {std::cos(angle), -std::sin(angle)};
    }
    Spectrum a(m), b(m);
    for (std::size_t i = 0; i < n; ++i) a[i] = chirp[i] * window[i];
    b[0] = std::conj(chirp[0]);
    for (std::size_t i = 1; i < n; ++i) b[i] = b[m - i] = std::conj(chirp[i]);
    fft(a, false);
    fft(b, false);
    for (std::size_t i = 0; i < m; ++i) a[i] = times(a[i], b[i]);
    fft(a, true);
    const double scale = 1.0 / static_cast<double>(m) / static_cast<double>(n);
    s.power.resize(n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        const double magnitude = std::abs(times(a[k], chirp[k])) * scale;
        // Bins other than 0 and Nyquist stand for their mirror image too.
        const bool paired = k != 0 && !(n % 2 == 0 && k == n / 2);
        s.power[k] = magnitude * magnitude * (paired ? 2.0 : 1.0);
    }
    return s;
}

BinRange binsWithin(const BinSpectrum& s, double fromHz, double toHz) {
    BinRange r;
    if (s.length < 4) return r;
    const double per = s.hzPerBin();
    r.first = static_cast<std::size_t>(std::max(1.0, std::ceil(fromHz / per - 1e-9)));
    const std::size_t top = (s.length - 1) / 2;  // below Nyquist
    const double last = std::floor(toHz / per + 1e-9);
    r.last = last < 1.0 ? 0 : std::min(top, static_cast<std::size_t>(last));
    return r;
}

double dbfsOfMeanSquare(double meanSquare) {
    if (!(meanSquare > 0.0)) return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(2.0 * meanSquare);
}

}  // namespace cli
