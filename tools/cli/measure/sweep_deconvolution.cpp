#include "measure/sweep_deconvolution.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "measure/fft.h"

namespace cli {

namespace {
constexpr double kPi = 3.14159265358979323846;

// A raised cosine over log frequency: 0 at `lo`, 1 at `hi`.
double rise(double hz, double lo, double hi) {
    if (hz <= lo) return 0.0;
    if (hz >= hi) return 1.0;
    return 0.5 - 0.5 * std::cos(kPi * std::log(hz / lo) / std::log(hi / lo));
}

// A fourth-order Butterworth high-pass at the low end of the band played.
std::complex<double> highPass(const SweepPlan& plan, double hz) {
    const std::complex<double> s(0.0, hz / plan.playedFrom());
    const std::complex<double> s2 = s * s;
    return s2 * s2 / ((s2 + 0.7653668647301796 * s + 1.0) * (s2 + 1.8477590650225735 * s + 1.0));
}

// What the recording's spectrum is weighted with besides the division: below the
// band played the sweep carries no energy to divide by. At the low edge a
// minimum-phase high-pass, whose ringing stays after the response's start (the
// harmonics lie before it), and a raised cosine an octave lower still; at the
// top a raised cosine from the band reported to the band played.
std::complex<double> bandWeight(const SweepPlan& plan, double hz) {
    if (hz <= 0.0) return 0.0;
    return highPass(plan, hz) * rise(hz, plan.playedFrom() / 4, plan.playedFrom() / 2) *
           rise(1.0 / hz, 1.0 / plan.playedTo(), 1.0 / plan.to);
}
}  // namespace

double lowEdgeGain(const SweepPlan& plan, double hz) { return std::abs(highPass(plan, hz)); }

Deconvolver::Deconvolver(const SweepPlan& plan, const std::vector<double>& sweep, std::size_t recordingLength)
    : n_(std::max<std::size_t>(2, fftLength(sweep.size() + recordingLength))), transform_(n_), filter_(n_ / 2 + 1) {
    std::vector<double> padded(n_, 0.0);
    std::copy(sweep.begin(), sweep.begin() + static_cast<std::ptrdiff_t>(std::min(sweep.size(), n_)), padded.begin());
    transform_.forward(padded.data(), filter_.data());
    double largest = 0.0;
    for (const auto& v : filter_) largest = std::max(largest, std::norm(v));
    const double floor = largest * 1e-12;
    // conj(X) / (|X|^2 + floor), weighted to the band and with the inverse's 1/N.
    for (std::size_t i = 0; i <= n_ / 2; ++i) {
        const double hz = static_cast<double>(i) * plan.rate / static_cast<double>(n_);
        const std::complex<double> w = bandWeight(plan, hz) / ((std::norm(filter_[i]) + floor) * static_cast<double>(n_));
        filter_[i] = timesConjugate(w, filter_[i]);
    }
}

std::vector<double> Deconvolver::operator()(const std::vector<double>& recording) const {
    std::vector<double> response(n_, 0.0);
    std::copy(recording.begin(), recording.begin() + static_cast<std::ptrdiff_t>(std::min(recording.size(), n_)),
              response.begin());
    std::vector<std::complex<double>> y(n_ / 2 + 1);
    transform_.forward(response.data(), y.data());
    for (std::size_t i = 0; i <= n_ / 2; ++i) y[i] = times(y[i], filter_[i]);
    // Bins 0 and n/2 of a real signal's spectrum are real.
    y[0] = y[0].real();
    y[n_ / 2] = y[n_ / 2].real();
    transform_.inverse(y.data(), response.data());
    return response;
}

std::vector<double> deconvolve(const SweepPlan& plan, const std::vector<double>& sweep,
                               const std::vector<double>& recording) {
    return Deconvolver(plan, sweep, recording.size())(recording);
}

}  // namespace cli

namespace cli {

namespace {
// As in the delay search: 20 dB above the rest, which a response never passes by
// chance; the neighbours of the peak belong to it.
constexpr double kMinResponseProminence = 10.0;
constexpr std::size_t kResponseWidth = 64;
}  // namespace

ResponseStart findResponseStart(const std::vector<double>& response, std::size_t maxDelay) {
    ResponseStart start;
    if (response.empty()) return start;
    maxDelay = std::min(maxDelay, response.size() - 1);
    double peak = 0.0;
    for (std::size_t d = 0; d <= maxDelay; ++d) {
        if (std::fabs(response[d]) > peak) {
            peak = std::fabs(response[d]);
            start.delay = d;
        }
    }
    if (!(peak > 0.0)) return start;
    double squares = 0.0;
    std::size_t count = 0;
    for (std::size_t d = 0; d <= maxDelay; ++d) {
        if (d + kResponseWidth >= start.delay && d <= start.delay + kResponseWidth) continue;
        squares += response[d] * response[d];
        ++count;
    }
    const double rest = count > 0 ? std::sqrt(squares / static_cast<double>(count)) : 0.0;
    start.prominence = rest > 0.0 ? peak / rest : std::numeric_limits<double>::infinity();
    start.found = start.prominence >= kMinResponseProminence;
    return start;
}

}  // namespace cli
