// The command line's transforms against the textbook one and a direct DFT: every
// length's radix-2 or radix-4 path, the real transform both ways, and the
// spectrum of a window of any length, even or odd.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "measure/fft.h"
#include "measure/window_dft.h"
#include "support/textbook_fft.h"

namespace {

using Values = std::vector<std::complex<double>>;

Values noise(std::size_t n, std::uint32_t seed) {
    Values x(n);
    for (auto& v : x) {
        seed = seed * 1664525u + 1013904223u;
        const double re = static_cast<double>(seed >> 8) / 16777216.0 - 0.5;
        seed = seed * 1664525u + 1013904223u;
        v = {re, static_cast<double>(seed >> 8) / 16777216.0 - 0.5};
    }
    return x;
}

// The largest difference over the first `count` values, relative to the largest of `want`.
double error(const Values& got, const Values& want, std::size_t count) {
    double diff = 0.0, scale = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        diff = std::max(diff, std::abs(got[i] - want[i]));
        scale = std::max(scale, std::abs(want[i]));
    }
    return diff / std::max(scale, 1e-300);
}

// Even and odd powers of two (radix 4 alone, one radix-2 stage first), the
// smallest lengths, and the analysis's own.
TEST(CliFft, AgreesWithTheTextbookTransform) {
    for (const std::size_t n : {1u, 2u, 4u, 8u, 32u, 64u, 2048u, 1u << 15, 1u << 18}) {
        for (const bool inverse : {false, true}) {
            const Values input = noise(n, static_cast<std::uint32_t>(n) + inverse);
            Values want = input, got = input;
            textbookFft(want, inverse);
            cli::FftPlan(n).transform(got.data(), inverse);
            EXPECT_LT(error(got, want, n), 1e-13) << n << (inverse ? " inverse" : " forward");
        }
        if (n < 2) continue;
        // Real values: bins 0..n/2 as the complex transform gives them, and back n times over.
        std::vector<double> values;
        for (const auto& v : noise(n / 2, 7)) values.insert(values.end(), {v.real(), v.imag()});
        Values want(values.begin(), values.end()), bins(n / 2 + 1);
        textbookFft(want, false);
        const cli::RealFftPlan plan(n);
        plan.forward(values.data(), bins.data());
        EXPECT_LT(error(bins, want, n / 2 + 1), 1e-13) << n << " real";
        std::vector<double> back(n);
        plan.inverse(bins.data(), back.data());
        double worst = 0.0;
        for (std::size_t i = 0; i < n; ++i) worst = std::max(worst, std::fabs(back[i] / double(n) - values[i]));
        EXPECT_LT(worst, 1e-13) << n << " real inverse";
    }
}

// A window of any length against a direct DFT's powers: even lengths go through
// the half-length transform, odd ones whole.
TEST(CliFft, WindowSpectrumOfAnyLength) {
    const double pi = 3.14159265358979323846;
    for (const std::size_t n : {2u, 3u, 6u, 999u, 1000u, 1002u}) {
        std::vector<double> window;
        for (const auto& v : noise(n, 11)) window.push_back(v.real());
        const cli::BinSpectrum s = cli::binSpectrum(window, 48000.0);
        ASSERT_EQ(s.power.size(), n / 2 + 1) << n;
        double worst = 0.0, largest = 0.0;
        for (std::size_t k = 0; k <= n / 2; ++k) {
            std::complex<double> sum;
            for (std::size_t i = 0; i < n; ++i)
                sum += window[i] * std::polar(1.0, -2.0 * pi * double(k * i % n) / double(n));
            const bool paired = k != 0 && 2 * k != n;
            const double want = std::norm(sum) / double(n) / double(n) * (paired ? 2.0 : 1.0);
            worst = std::max(worst, std::fabs(s.power[k] - want));
            largest = std::max(largest, want);
        }
        EXPECT_LT(worst / largest, 1e-12) << n;
    }
}

}  // namespace
