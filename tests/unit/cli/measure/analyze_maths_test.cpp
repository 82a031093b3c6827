// The measurement maths of `asiochan analyze` against signals whose figures are
// known on paper: the A-weighting curve, tone levels, THD+N and noise, and the
// crosstalk frequency plan.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "measure/a_weighting.h"
#include "measure/analyze_tones.h"
#include "measure/window_dft.h"
#include "measure/crosstalk_plan.h"
#include "measure/noise.h"
#include "measure/thdn.h"

namespace {

// The standard's analogue formula with its rounded +2.00 dB, to compare against.
double iecFormulaDb(double f) {
    const double f2 = f * f;
    const double ra = 12194.0 * 12194.0 * f2 * f2 /
                      ((f2 + 20.6 * 20.6) * std::sqrt((f2 + 107.7 * 107.7) * (f2 + 737.9 * 737.9)) * (f2 + 12194.0 * 12194.0));
    return 20.0 * std::log10(ra) + 2.00;
}

TEST(AnalyzeMaths, AWeightingFollowsTheStandard) {
    EXPECT_NEAR(cli::aWeightingDb(1000.0), 0.0, 1e-9);
    // The standard's table (rounded to 0.1 dB), at the exact base-ten frequencies
    // behind its nominal ones.
    const struct {
        double hz, db;
    } table[] = {{10, -70.4},    {31.623, -39.4}, {100, -19.1},   {251.19, -8.6},  {1000, 0.0},
                 {1995.3, 1.2}, {3981.1, 1.0},   {7943.3, -1.1}, {12589, -4.3},   {19953, -9.3}};
    for (const auto& row : table) EXPECT_NEAR(cli::aWeightingDb(row.hz), row.db, 0.051) << row.hz;
    for (double f = 10.0; f <= 24000.0; f *= 1.07) EXPECT_NEAR(cli::aWeightingDb(f), iecFormulaDb(f), 0.02) << f;
}

// A one-second window at 48 kHz: a tone, harmonics and white noise, each figure
// against its value worked out from the parts.
TEST(AnalyzeMaths, SteadyToneFigures) {
    constexpr double rate = 48000.0;
    const cli::Band band = cli::bandFor(rate);
    const double bandShare = (20000.0 - 20.0 + 1.0) / 24000.0;
    const struct {
        double amplitude, third, fifth, noiseRms;
        double thdnPercent, noiseDbfs, noiseADbfs;  // NaN: not checked
        double spurHz = 0.0, spur = 0.0;           // a further tone, re the amplitude
    } rows[] = {
        {0.1, 0.0, 0.0, 0.0, 0.0, NAN, NAN},
        {0.89125, 0.01, 0.0, 0.0, 100.0 * 0.01 / std::sqrt(1.0001), NAN, NAN},
        {0.5, 0.003, 0.004, 0.0, 100.0 * 0.005 / std::sqrt(1.0 + 0.000025), NAN, NAN},
        // Spurs two bins from the fundamental lie outside its notch (three bins wide).
        {0.5, 0.0, 0.0, 0.0, 100.0 * 0.01 / std::sqrt(1.0001), NAN, NAN, 999.0, 0.01},
        {0.5, 0.0, 0.0, 0.0, 100.0 * 0.01 / std::sqrt(1.0001), NAN, NAN, 995.0, 0.01},
        // A tone above 20 kHz's fold: harmonics above the band are not counted.
        {0.5, 0.0, 0.0, 1e-3, 100.0 * 1e-3 * std::sqrt(bandShare) / (0.5 / std::sqrt(2.0)), NAN, NAN},
        // Noise of RMS -100 dB re full scale: -97.79 dBFS in the band, -99.83 A-weighted.
        {0.0, 0.0, 0.0, 1e-5, NAN, -97.79, -99.83},
    };
    std::mt19937_64 random(7);
    for (const auto& r : rows) {
        std::normal_distribution<double> noise(0.0, r.noiseRms > 0 ? r.noiseRms : 1.0);
        std::vector<double> x(48000);
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] = cli::toneSample(997.0, rate, r.amplitude, i) + cli::toneSample(2991.0, rate, r.third * r.amplitude, i) +
                   cli::toneSample(4985.0, rate, r.fifth * r.amplitude, i) +
                   (r.spur > 0 ? cli::toneSample(r.spurHz, rate, r.spur * r.amplitude, i) : 0.0) +
                   (r.noiseRms > 0 ? noise(random) : 0.0);
        const cli::BinSpectrum s = cli::binSpectrum(x, rate);
        EXPECT_NEAR(cli::toneAmplitude(s, 997.0), r.amplitude, 1e-9 + r.noiseRms * 0.05) << r.amplitude;
        if (!std::isnan(r.thdnPercent)) {
            EXPECT_NEAR(cli::measureThdN(s, 997.0, band, false).percent(), r.thdnPercent, 0.02 * r.thdnPercent + 1e-9)
                << r.amplitude;
        }
        if (!std::isnan(r.noiseDbfs)) {
            EXPECT_NEAR(cli::measureNoise(s, band, false, 32).dbfs, r.noiseDbfs, 0.1);
            EXPECT_NEAR(cli::measureNoise(s, band, true, 32).dbfs, r.noiseADbfs, 0.1);
        }
    }
    // Silence reads as -inf over a floor of one LSB's quantisation noise.
    const cli::BinSpectrum silent = cli::binSpectrum(std::vector<double>(48000, 0.0), rate);
    const cli::NoiseLevel quiet = cli::measureNoise(silent, band, false, 24);
    EXPECT_TRUE(std::isinf(quiet.dbfs));
    EXPECT_NEAR(quiet.floorDbfs, 20 * std::log10(std::ldexp(1.0, -23) / std::sqrt(12.0) * std::sqrt(2.0 * bandShare)), 0.01);
}

// The first collision in a plan of tone bins for a window of `window` frames:
// a tone hit by a harmonic of a tone up to the 5th or by a 2nd- or 3rd-order
// product of two tones, folded at half the rate, or two tones closer than 3 bins.
std::string firstCollision(const std::vector<std::size_t>& bins, std::size_t window) {
    const std::set<long long> tones(bins.begin(), bins.end());
    if (tones.size() != bins.size()) return "a bin planned twice";
    const auto fold = [&](long long b) {
        const auto w = static_cast<long long>(window);
        const long long m = ((b % w) + w) % w;
        return m > w / 2 ? w - m : m;
    };
    for (long long a : tones) {
        for (long long h = 2; h <= 5; ++h)
            if (tones.count(fold(h * a))) return std::to_string(a) + " x" + std::to_string(h);
        for (long long b : tones) {
            if (b == a) continue;
            if (std::llabs(a - b) < 3) return std::to_string(a) + " beside " + std::to_string(b);
            for (long long p : {a + b, a - b, 2 * a + b, 2 * a - b})
                if (tones.count(fold(p)))
                    return std::to_string(a) + " and " + std::to_string(b) + " make " + std::to_string(fold(p));
        }
    }
    return "";
}

// The crosstalk plan as analyze makes it (a one-second window, 40 Hz to the top of
// the band) for every number of pairs at each common rate: every tone in range,
// and no collision.
TEST(AnalyzeMaths, CrosstalkPlanHasNoCollision) {
    for (const double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        const std::size_t window = cli::toneWindowFrames(rate, 1.0);
        const double perBin = rate / static_cast<double>(window), top = cli::bandFor(rate).toHz;
        for (std::size_t count = 1; count <= 64; ++count) {
            SCOPED_TRACE(std::to_string(count) + " tones at " + std::to_string(rate) + " Hz");
            const std::vector<std::size_t> bins = cli::planCrosstalkBins(count, window, rate, 40.0, top);
            ASSERT_EQ(bins.size(), count);
            for (std::size_t b : bins) {
                EXPECT_GE(static_cast<double>(b) * perBin, 40.0);
                EXPECT_LE(static_cast<double>(b) * perBin, top);
            }
            EXPECT_EQ(firstCollision(bins, window), "");
        }
    }
}

}  // namespace
