#include "measure/window_spectrum.h"

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
BinSpectrumPlan::BinSpectrumPlan(std::size_t length)
    : n_(length), m_(length == 0 ? 0 : fftLength(2 * length - 1)), chirp_(length) {
    for (std::size_t i = 0; i < n_; ++i) {
        const auto sq = static_cast<unsigned long long>(i) * i % (2 * static_cast<unsigned long long>(n_));
        const double angle = kPi * static_cast<double>(sq) / static_cast<double>(n_);
        chirp_[i] = {std::cos(angle), -std::sin(angle)};
    }
    if (n_ == 0) return;
    chirpTransform_.assign(m_, {});
    chirpTransform_[0] = std::conj(chirp_[0]);
    for (std::size_t i = 1; i < n_; ++i) chirpTransform_[i] = chirpTransform_[m_ - i] = std::conj(chirp_[i]);
    fft(chirpTransform_, false);
}

BinSpectrum BinSpectrumPlan::operator()(const std::vector<double>& window, double rate) const {
    BinSpectrum s;
    s.rate = rate;
    s.length = n_;
    if (n_ == 0 || window.size() != n_) return s;
    Spectrum a(m_);
    for (std::size_t i = 0; i < n_; ++i) a[i] = chirp_[i] * window[i];
    fft(a, false);
    for (std::size_t i = 0; i < m_; ++i) a[i] = times(a[i], chirpTransform_[i]);
    fft(a, true);
    const double scale = 1.0 / static_cast<double>(m_) / static_cast<double>(n_);
    s.power.resize(n_ / 2 + 1);
    for (std::size_t k = 0; k <= n_ / 2; ++k) {
        const double magnitude = std::abs(times(a[k], chirp_[k])) * scale;
        // Bins other than 0 and Nyquist stand for their mirror image too.
        const bool paired = k != 0 && !(n_ % 2 == 0 && k == n_ / 2);
        s.power[k] = magnitude * magnitude * (paired ? 2.0 : 1.0);
    }
    return s;
}

BinSpectrum binSpectrum(const std::vector<double>& window, double rate) {
    return BinSpectrumPlan(window.size())(window, rate);
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
