// The sweep's maths: deconvolving a recording into the linear and harmonic
// responses, checked against systems whose responses are known on paper.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "measure/sweep_deconvolution.h"
#include "measure/sweep_response.h"
#include "measure/sweep_signal.h"
#include "simdriver/core/dut_model.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Measured {
    cli::ResponseStart start;
    std::vector<cli::SweepPoint> points;
};

// Plays the sweep through `system` after `delay` frames of silence, with a tail of
// silence, and measures what came back.
template <typename System>
Measured measure(const cli::SweepPlan& plan, std::size_t delay, System system, int perOctave = 12,
                 cli::BandEnds ends = cli::BandEnds::gridOnly) {
    const std::vector<double> sweep = cli::makeSweep(plan);
    std::vector<double> recording(delay + sweep.size() + static_cast<std::size_t>(plan.rate), 0.0);
    for (std::size_t i = 0; i < recording.size(); ++i)
        recording[i] = system(i >= delay && i - delay < sweep.size() ? sweep[i - delay] : 0.0);
    const std::vector<double> response = cli::deconvolve(plan, sweep, recording);
    Measured m;
    m.start = cli::findResponseStart(response, static_cast<std::size_t>(plan.rate / 2));
    if (m.start.found) {
        const cli::SweepHarmonics harmonics(plan, response, m.start.delay);
        m.points = cli::measureBand(plan, harmonics, perOctave, ends);
    }
    return m;
}

// A delay and a gain: found to the frame, flat to 0.01 dB over the band, no harmonics.
TEST(SweepMaths, RecoversDelayAndGain) {
    const struct {
        double rate, from, to, seconds, gain;
        std::size_t delay;
    } rows[] = {{48000, 20, 20000, 3, 0.5, 1234}, {44100, 50, 19845, 2, 1.0, 0}, {96000, 20, 20000, 1, 0.1, 9000}};
    for (const auto& r : rows) {
        cli::SweepPlan plan{r.rate, r.from, r.to, r.seconds, 0.25};
        ASSERT_EQ(cli::checkSweepPlan(plan), nullptr);
        const Measured m = measure(plan, r.delay, [&](double x) { return r.gain * x; });
        ASSERT_TRUE(m.start.found) << r.rate;
        EXPECT_EQ(m.start.delay, r.delay) << r.rate;
        ASSERT_FALSE(m.points.empty());
        for (const auto& p : m.points) {
            EXPECT_NEAR(p.responseDb, 20 * std::log10(r.gain), 0.01) << r.rate << " Hz rate, at " << p.hz;
            if (!std::isnan(p.thdPercent)) {
                EXPECT_LT(p.thdPercent, 0.01) << r.rate << " Hz rate, at " << p.hz;
            }
        }
    }
}

// The simulated device under test, on paper. At a peak level a (0.2512 at -12 dBFS)
// and a low-pass gain g(f) = 1 / sqrt(1 + (tan(pi f / rate) / tan(pi 2000 / rate))^2),
// u = a g sin(wt) comes back as u + c u^3 with c = 0.6536:
//   fundamental  a g (1 + 3/4 c a^2 g^2)
//   3rd harmonic c a^3 g^3 / 4, against the fundamental c a^2 g^2 / 4 / (1 + 3/4 c a^2 g^2)
// THD at 100 Hz (g = 0.9988): 0.998 %; at 1 kHz (g^2 = 0.8014): 0.806 %. The
// fundamental is 0.264 dB up at 20 Hz; it is 3 dB below that at 1937.6 Hz, not 2000 Hz.
struct DutOnPaper {
    double rate, a, c = asiochan::sim::DutModel::kCubic;
    double g2(double f) const {
        const double r = std::tan(kPi * f / rate) / std::tan(kPi * asiochan::sim::DutModel::kCornerHz / rate);
        return 1 / (1 + r * r);
    }
    double fundamentalDb(double f) const { return 20 * std::log10(std::sqrt(g2(f)) * (1 + 0.75 * c * a * a * g2(f))); }
    double thirdDb(double f) const { return 20 * std::log10(c * a * a * g2(f) / 4 / (1 + 0.75 * c * a * a * g2(f))); }
    // Where the response crosses `db` between lo and hi (it falls with frequency).
    double crossing(double db, double lo, double hi) const {
        for (int i = 0; i < 100; ++i) {
            const double mid = std::sqrt(lo * hi);
            (fundamentalDb(mid) > db ? lo : hi) = mid;
        }
        return lo;
    }
};

// The device measured as the command measures it: the 1/48-octave points and the
// band's ends. Each harmonic is read where it lies within the band and below a
// tenth of the rate (above it the 3rd folds back: the device makes no 2nd, yet one
// would read about -72 dB at 9.5 kHz), the THD where all four are; the band's edges
// and the corner fall where the model puts them, to 0.1 % in a 5 s sweep (a point
// is 1.45 % from the next). The lowest point's 3rd harmonic is right in a short
// sweep too.
TEST(SweepMaths, MeasuresTheModelledDevice) {
    const struct {
        double seconds, responseDb, thirdDb, lowestThirdDb, secondBelowDb, edgeShare;
    } rows[] = {{5, 0.02, 0.2, 0.2, -80, 0.001}, {0.5, 0.02, 1.0, 1.0, -60, 0.01}};
    for (const auto& r : rows) {
        const DutOnPaper model{48000, std::pow(10.0, -12.0 / 20)};
        cli::SweepPlan plan{model.rate, 20, 20000, r.seconds, model.a};
        asiochan::sim::DutModel dut(model.rate);
        const Measured m = measure(plan, 300, [&](double x) { return dut.process(x); }, 48, cli::BandEnds::included);
        ASSERT_TRUE(m.start.found) << r.seconds;
        ASSERT_EQ(m.points.front().hz, 20.0);
        EXPECT_NEAR(m.points.front().harmonicDb[1], model.thirdDb(20), r.lowestThirdDb) << r.seconds << " s";
        for (const auto& p : m.points) {
            if (p.hz <= 10000) {
                EXPECT_NEAR(p.responseDb, model.fundamentalDb(p.hz), r.responseDb) << p.hz;
            }
            for (int k = 2; k <= 5; ++k)
                EXPECT_EQ(std::isnan(p.harmonicDb[k - 2]), p.hz > model.rate / 10 || k * p.hz > plan.to) << k << " " << p.hz;
            EXPECT_EQ(std::isnan(p.thdPercent), p.hz > plan.to / 5) << p.hz;
            if (!std::isnan(p.harmonicDb[0])) {
                EXPECT_LT(p.harmonicDb[0], r.secondBelowDb) << p.hz;
            }
            if (!std::isnan(p.harmonicDb[1])) {
                EXPECT_NEAR(p.harmonicDb[1], model.thirdDb(p.hz), r.thirdDb) << p.hz;
            }
        }
        const cli::SweepSummary s = cli::summarise(m.points);
        const double ref = model.fundamentalDb(1000);
        ASSERT_EQ(s.referenceHz, 1000);
        const struct {
            const char* what;
            double measured, model;
        } edges[] = {{"corner", s.cornerHz, model.crossing(model.fundamentalDb(20) - 3, 20, 20000)},
                     {"1 dB, low", s.within1dB[0], model.crossing(ref + 1, 20, 1000)},
                     {"1 dB, high", s.within1dB[1], model.crossing(ref - 1, 1000, 20000)},
                     {"3 dB, low", s.within3dB[0], 20},
                     {"3 dB, high", s.within3dB[1], model.crossing(ref - 3, 1000, 20000)}};
        for (const auto& e : edges)
            EXPECT_NEAR(e.measured / e.model, 1.0, r.edgeShare) << e.what << ", " << r.seconds << " s: " << e.measured
                                                          << " Hz against " << e.model;
    }
}

// A band-pass read on a third-octave grid: each edge lies where the response
// crosses out, between the last point inside and the first outside (worked out
// on paper), not from points further out.
TEST(SweepMaths, SummaryEdgesOfABandPass) {
    const double grid[][2] = {{20, -30},  {40, -30},     {80, -30},  {160, -12}, {320, -0.5}, {640, 0},
                              {1000, 0},  {2000, 0},     {4000, -0.5}, {8000, -2}, {16000, -6}, {20000, -8}};
    std::vector<cli::SweepPoint> points;
    for (const auto& [hz, db] : grid) {
        cli::SweepPoint p;
        p.hz = hz;
        p.responseDb = db;
        points.push_back(p);
    }
    const cli::SweepSummary s = cli::summarise(points);
    ASSERT_EQ(s.referenceHz, 1000.0);
    // 320 x 0.5^(0.5 / 11.5), 4000 x 2^(0.5 / 1.5), 320 x 0.5^(2.5 / 11.5), 8000 x 2^(1 / 4).
    const double edges[][2] = {{s.within1dB[0], 310.50}, {s.within1dB[1], 5039.68},
                               {s.within3dB[0], 275.24}, {s.within3dB[1], 9513.66}};
    for (const auto& e : edges) EXPECT_NEAR(e[0], e[1], 0.01) << e[1];
}

// Silence, or noise with no sweep in it, finds no response.
TEST(SweepMaths, NoSignalFindsNothing) {
    cli::SweepPlan plan{48000, 20, 20000, 1, 0.25};
    unsigned seed = 1;
    const auto noise = [&](double) {
        seed = seed * 1103515245u + 12345u;
        return 1e-3 * (static_cast<double>((seed >> 8) & 0xffffu) / 32768.0 - 1.0);
    };
    EXPECT_FALSE(measure(plan, 0, [](double) { return 0.0; }).start.found);
    EXPECT_FALSE(measure(plan, 0, noise).start.found);
}

}  // namespace
