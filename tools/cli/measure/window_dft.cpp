#include "measure/window_dft.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "measure/fft.h"

namespace cli {

namespace {
constexpr double kPi = 3.14159265358979323846;

std::size_t complexLength(std::size_t n) { return n % 2 == 0 ? n / 2 : n; }
}  // namespace

// Bluestein's chirp transform: the DFT of any length as a convolution of two
// power-of-two lengths. n^2 is taken modulo 2N so that the chirp's phases stay
// exact. An even window goes in as half as many complex values (its even frames
// real, its odd ones imaginary), and the half-length transform is split into the
// window's own as a real transform does.
BinSpectrumPlan::BinSpectrumPlan(std::size_t length)
    : n_(length),
      c_(complexLength(length)),
      m_(length == 0 ? 0 : fftLength(2 * c_ - 1)),
      plan_(m_),
      chirp_(c_) {
    for (std::size_t i = 0; i < c_; ++i) {
        const auto sq = static_cast<unsigned long long>(i) * i % (2 * static_cast<unsigned long long>(c_));
        const double angle = kPi * static_cast<double>(sq) / static_cast<double>(c_);
        chirp_[i] = {std::cos(angle), -std::sin(angle)};
    }
    if (n_ == 0) return;
    chirpTransform_.assign(m_, {});
    chirpTransform_[0] = std::conj(chirp_[0]);
    for (std::size_t i = 1; i < c_; ++i) chirpTransform_[i] = chirpTransform_[m_ - i] = std::conj(chirp_[i]);
    plan_.transform(chirpTransform_.data(), false);
    // The convolution's 1/M, once.
    for (auto& v : chirpTransform_) v /= static_cast<double>(m_);
    if (c_ != n_)
        for (std::size_t k = 0; k <= n_ / 4; ++k) {
            const double angle = -2.0 * kPi * static_cast<double>(k) / static_cast<double>(n_);
            turns_.emplace_back(std::cos(angle), std::sin(angle));
        }
}

BinSpectrum BinSpectrumPlan::operator()(const std::vector<double>& window, double rate) const {
    BinSpectrum s;
    s.rate = rate;
    s.length = n_;
    if (n_ == 0 || window.size() != n_) return s;
    Spectrum a(m_);
    if (c_ == n_)
        for (std::size_t i = 0; i < n_; ++i) a[i] = chirp_[i] * window[i];
    else
        for (std::size_t i = 0; i < c_; ++i) a[i] = times(chirp_[i], {window[2 * i], window[2 * i + 1]});
    plan_.transform(a.data(), false);
    for (std::size_t i = 0; i < m_; ++i) a[i] = times(a[i], chirpTransform_[i]);
    plan_.transform(a.data(), true);
    for (std::size_t k = 0; k < c_; ++k) a[k] = times(a[k], chirp_[k]);
    s.power.resize(n_ / 2 + 1);
    const double scale = 1.0 / static_cast<double>(n_);
    // Bins other than 0 and Nyquist stand for their mirror image too.
    const auto put = [&](std::size_t k, std::complex<double> x) {
        const bool paired = k != 0 && !(n_ % 2 == 0 && k == n_ / 2);
        s.power[k] = std::norm(x * scale) * (paired ? 2.0 : 1.0);
    };
    if (c_ == n_) {
        for (std::size_t k = 0; k <= n_ / 2; ++k) put(k, a[k]);
        return s;
    }
    // With h = n/2 and W = e^(-2 pi i / n): X[k] = E + W^k O and X[h-k] = conj(E - W^k O),
    // E and O being the transforms of the even and the odd frames.
    const std::size_t h = c_;
    for (std::size_t k = 0; k <= h / 2; ++k) {
        const std::complex<double> zk = a[k], zj = a[(h - k) % h];
        const std::complex<double> e = 0.5 * (zk + std::conj(zj)), d = 0.5 * (zk - std::conj(zj));
        const std::complex<double> wo = times(turns_[k], {d.imag(), -d.real()});
        put(k, e + wo);
        put(h - k, e - wo);
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
