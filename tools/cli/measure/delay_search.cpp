#include "measure/delay_search.h"

#include <cmath>
#include <limits>

#include "measure/fft.h"

namespace cli {

namespace {
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
    const std::size_t n = fftLength(captured.size() + reference.size());
    Spectrum c = forwardTransform(captured, n);
    const Spectrum r = forwardTransform(reference, n);
    for (std::size_t i = 0; i < n; ++i) c[i] = timesConjugate(c[i], r[i]);
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
