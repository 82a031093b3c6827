#include "measure/delay_search.h"

#include <cmath>
#include <complex>
#include <limits>

namespace cli {

namespace {
using Spectrum = std::vector<std::complex<double>>;

// In-place radix-2 FFT of a power-of-two length; `inverse` leaves out the 1/N.
// Products are written out: std::complex's operator* checks for infinities.
void fft(Spectrum& x, bool inverse) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    const double pi = 3.14159265358979323846;
    std::vector<double> cosines(n / 2), sines(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        const double angle = (inverse ? 2.0 : -2.0) * pi * static_cast<double>(k) / static_cast<double>(n);
        cosines[k] = std::cos(angle);
        sines[k] = std::sin(angle);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t half = len / 2, stride = n / len;
        for (std::size_t start = 0; start < n; start += len) {
            for (std::size_t k = 0; k < half; ++k) {
                const double wr = cosines[k * stride], wi = sines[k * stride];
                const std::complex<double> b = x[start + k + half];
                const std::complex<double> t(b.real() * wr - b.imag() * wi, b.real() * wi + b.imag() * wr);
                const std::complex<double> a = x[start + k];
                x[start + k] = a + t;
                x[start + k + half] = a - t;
            }
        }
    }
}

// Delays within this many frames of the peak belong to it: a loop through
// converters or the air spreads the peak over its neighbours.
constexpr std::size_t kPeakWidth = 64;
}  // namespace

DelaySearch findDelay(const std::vector<double>& reference, const std::vector<double>& captured, std::size_t maxDelay) {
    DelaySearch result;
    if (reference.empty() || captured.empty()) return result;
    if (maxDelay > captured.size() - 1) maxDelay = captured.size() - 1;
    // The correlation at delay d is the sum of reference[i] * captured[i + d]; with
    // a transform at least as long as both together no delay wraps round.
    std::size_t n = 1;
    while (n < captured.size() + reference.size()) n <<= 1;
    Spectrum c(n), r(n);
    for (std::size_t i = 0; i < captured.size(); ++i) c[i] = captured[i];
    for (std::size_t i = 0; i < reference.size(); ++i) r[i] = reference[i];
    fft(c, false);
    fft(r, false);
    for (std::size_t i = 0; i < n; ++i) {
        const double cr = c[i].real(), ci = c[i].imag(), rr = r[i].real(), ri = r[i].imag();
        c[i] = std::complex<double>(cr * rr + ci * ri, ci * rr - cr * ri);  // c times r's conjugate
    }
    fft(c, true);
    const double scale = 1.0 / static_cast<double>(n);

    std::size_t peakAt = 0;
    double peak = 0.0;
    for (std::size_t d = 0; d <= maxDelay; ++d) {
        const double v = c[d].real() * scale;
        if (std::fabs(v) > std::fabs(peak)) {
            peak = v;
            peakAt = d;
        }
    }
    if (peak == 0.0) return result;
    double restSquares = 0.0;
    std::size_t restCount = 0;
    for (std::size_t d = 0; d <= maxDelay; ++d) {
        if (d + kPeakWidth >= peakAt && d <= peakAt + kPeakWidth) continue;
        const double v = c[d].real() * scale;
        restSquares += v * v;
        ++restCount;
    }
    double energy = 0.0;
    for (double v : reference) energy += v * v;
    // With no other delay to compare against, nothing says the peak stands out.
    const double rest = restCount > 0 ? std::sqrt(restSquares / static_cast<double>(restCount)) : std::fabs(peak);
    result.delay = peakAt;
    result.inverted = peak < 0.0;
    result.prominence = rest > 0.0 ? std::fabs(peak) / rest : std::numeric_limits<double>::infinity();
    result.gain = std::fabs(peak) / energy;
    result.found = result.prominence >= kMinProminence;
    return result;
}

}  // namespace cli
