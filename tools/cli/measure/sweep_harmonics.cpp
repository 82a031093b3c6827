#include "measure/sweep_harmonics.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "measure/fft.h"
#include "measure/sweep_deconvolution.h"

namespace cli {

namespace {
constexpr double kPi = 3.14159265358979323846;
// Each response takes this share of the gap to its neighbours; the linear one
// reaches at most this far past its start.
constexpr double kGapShare = 0.45;
constexpr double kLinearTailSeconds = 0.5;
// The share of each side of a window (before its start, after it) that is faded.
constexpr double kTaperShare = 0.5;
}  // namespace

SweepHarmonics::SweepHarmonics(const SweepPlan& plan, const std::vector<double>& response, std::size_t delay)
    : plan_(plan) {
    const double l = plan.timeConstant() * plan.rate;
    const long n = static_cast<long>(response.size());
    for (int k = 1; k <= kHighestHarmonic; ++k) {
        const double start = static_cast<double>(delay) - l * std::log(double(k));
        const double before = kGapShare * l * std::log((k + 1.0) / k);
        const double after =
            k == 1 ? kLinearTailSeconds * plan.rate : kGapShare * l * std::log(double(k) / (k - 1.0));
        Window& w = windows_[static_cast<std::size_t>(k - 1)];
        w.first = std::lround(start - before);
        const long last = std::lround(start + after);
        w.values.resize(static_cast<std::size_t>(std::max(last - w.first, 0L)));
        for (std::size_t i = 0; i < w.values.size(); ++i) {
            const double x = static_cast<double>(w.first) + static_cast<double>(i) - start;
            const double edge = x < 0 ? (before + x) / (kTaperShare * before) : (after - x) / (kTaperShare * after);
            const double taper = edge >= 1.0 ? 1.0 : 0.5 - 0.5 * std::cos(kPi * std::max(edge, 0.0));
            const long at = ((w.first + static_cast<long>(i)) % n + n) % n;
            w.values[i] = taper * response[static_cast<std::size_t>(at)];
        }
    }
}

double SweepHarmonics::gain(int k, double hz) const {
    if (k < 1 || k > kHighestHarmonic) return 0.0;
    const Window& w = windows_[static_cast<std::size_t>(k - 1)];
    // The transform at one frequency, turning the phase by a fixed step: four
    // sums a quarter of the frames each (frames i, i+4, ...), whose phases turn by
    // four steps at a time, so that no sum waits for the one before.
    const double step = -2.0 * kPi * hz / plan_.rate;
    const std::complex<double> turn(std::cos(step), std::sin(step));
    const std::complex<double> turn4 = times(times(turn, turn), times(turn, turn));
    std::complex<double> phase[4] = {{1.0, 0.0}, turn, times(turn, turn), times(times(turn, turn), turn)};
    double re[4] = {}, im[4] = {};
    const std::size_t n = w.values.size(), whole = n - n % 4;
    for (std::size_t i = 0; i < whole; i += 4) {
        for (std::size_t j = 0; j < 4; ++j) {
            const double v = w.values[i + j];
            re[j] += v * phase[j].real();
            im[j] += v * phase[j].imag();
            phase[j] = times(phase[j], turn4);
        }
    }
    std::complex<double> sum(re[0] + re[1] + re[2] + re[3], im[0] + im[1] + im[2] + im[3]);
    for (std::size_t i = whole, j = 0; i < n; ++i, ++j) sum += w.values[i] * phase[j];
    return std::abs(sum) / lowEdgeGain(plan_, hz);
}

}  // namespace cli
