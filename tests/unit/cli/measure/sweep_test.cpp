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
Measured measure(const cli::SweepPlan& plan, std::size_t delay, System system) {
    const std::vector<double> sweep = cli::makeSweep(plan);
    std::vector<double> recording(delay + sweep.size() + static_cast<std::size_t>(plan.rate), 0.0);
    for (std::size_t i = 0; i < recording.size(); ++i)
        recording[i] = system(i >= delay && i - delay < sweep.size() ? sweep[i - delay] : 0.0);
    const std::vector<double> response = cli::deconvolve(plan, sweep, recording);
    Measured m;
    m.start = cli::findResponseStart(response, static_cast<std::size_t>(plan.rate / 2));
    if (m.start.found) {
        const cli::SweepHarmonics harmonics(plan, response, m.start.delay);
        m.points = cli::measureBand(plan, harmonics, 12);
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

// The simulated device under test. At a peak level a (0.2512 at -12 dBFS) and a
// low-pass gain g(f) = 1 / sqrt(1 + (tan(pi f / rate) / tan(pi 2000 / rate))^2),
// u = a g sin(wt) comes back as u + c u^3 with c = 0.6536:
//   fundamental  a g (1 + 3/4 c a^2 g^2)
//   3rd harmonic c a^3 g^3 / 4, against the fundamental c a^2 g^2 / 4 / (1 + 3/4 c a^2 g^2)
// THD at 100 Hz (g = 0.9988): 0.998 %; at 1 kHz (g^2 = 0.8014): 0.806 %. The
// fundamental is 0.264 dB up at 20 Hz; it is 3 dB below that at 1937.6 Hz, not 2000 Hz.
TEST(SweepMaths, MeasuresTheModelledDevice) {
    const double rate = 48000, a = std::pow(10.0, -12.0 / 20), c = asiochan::sim::DutModel::kCubic;
    const auto g2 = [&](double f) {
        const double r = std::tan(kPi * f / rate) / std::tan(kPi * 2000 / rate);
        return 1 / (1 + r * r);
    };
    const auto fundamental = [&](double f) { return std::sqrt(g2(f)) * (1 + 0.75 * c * a * a * g2(f)); };
    const auto thirdDb = [&](double f) {
        return 20 * std::log10(c * a * a * g2(f) / 4 / (1 + 0.75 * c * a * a * g2(f)));
    };
    cli::SweepPlan plan{rate, 20, 20000, 5, a};
    asiochan::sim::DutModel dut(rate);
    const Measured m = measure(plan, 300, [&](double x) { return dut.process(x); });
    ASSERT_TRUE(m.start.found);
    for (const auto& p : m.points) {
        if (p.hz > 10000) continue;
        EXPECT_NEAR(p.responseDb, 20 * std::log10(fundamental(p.hz)), 0.2) << p.hz;
        if (!std::isnan(p.harmonicDb[1])) {
            EXPECT_NEAR(p.harmonicDb[1], thirdDb(p.hz), 1.0) << p.hz;
        }
    }
    const cli::SweepSummary s = cli::summarise(m.points);
    EXPECT_NEAR(s.cornerHz, 1937.6, 0.02 * 1937.6);
    for (const auto& p : m.points) {
        if (p.hz == 1000) {
            EXPECT_NEAR(p.thdPercent, 0.806, 0.08);
        }
    }
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
