#include "measure/sweep_harmonics.h"

#include <algorithm>
#include <cmath>
#include <complex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The frames a single-frequency transform takes at a time (even).
constexpr std::size_t kBlock = 128;

// The sum of values[j] (cosines[j] + i sines[j]) over j < count.
std::complex<double> blockSum(const double* values, const double* cosines, const double* sines, std::size_t count) {
    std::size_t j = 0;
#if defined(__SSE2__)
    __m128d re0 = _mm_setzero_pd(), im0 = _mm_setzero_pd(), re1 = _mm_setzero_pd(), im1 = _mm_setzero_pd();
    for (; j + 4 <= count; j += 4) {
        const __m128d v0 = _mm_loadu_pd(values + j), v1 = _mm_loadu_pd(values + j + 2);
        re0 = _mm_add_pd(re0, _mm_mul_pd(v0, _mm_loadu_pd(cosines + j)));
        im0 = _mm_add_pd(im0, _mm_mul_pd(v0, _mm_loadu_pd(sines + j)));
        re1 = _mm_add_pd(re1, _mm_mul_pd(v1, _mm_loadu_pd(cosines + j + 2)));
        im1 = _mm_add_pd(im1, _mm_mul_pd(v1, _mm_loadu_pd(sines + j + 2)));
    }
    double re[2], im[2];
    _mm_storeu_pd(re, _mm_add_pd(re0, re1));
    _mm_storeu_pd(im, _mm_add_pd(im0, im1));
    double sumRe = re[0] + re[1], sumIm = im[0] + im[1];
#else
    double sumRe = 0.0, sumIm = 0.0;
#endif
    for (; j < count; ++j) {
        sumRe += values[j] * cosines[j];
        sumIm += values[j] * sines[j];
    }
    return {sumRe, sumIm};
}
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
    // The transform at one frequency: the phases of one block of frames are made
    // once, each block's sum is a plain sum of products with them (no sum waits
    // for a phase), and the block's sum is turned to the block's place.
    const double step = -2.0 * kPi * hz / plan_.rate;
    const std::complex<double> turn(std::cos(step), std::sin(step));
    double cosines[kBlock], sines[kBlock];
    std::complex<double> phase(1.0, 0.0);
    for (std::size_t j = 0; j < kBlock; ++j) {
        cosines[j] = phase.real();
        sines[j] = phase.imag();
        phase = times(phase, turn);
    }
    const std::complex<double> blockTurn = phase;
    std::complex<double> at(1.0, 0.0), sum(0.0, 0.0);
    const std::size_t n = w.values.size();
    for (std::size_t b = 0; b < n; b += kBlock) {
        sum += times(at, blockSum(w.values.data() + b, cosines, sines, std::min(kBlock, n - b)));
        at = times(at, blockTurn);
    }
    return std::abs(sum) / lowEdgeGain(plan_, hz);
}

}  // namespace cli
