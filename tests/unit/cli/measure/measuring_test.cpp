// The maths of `asiochan latency` and `asiochan monitor`: the test sequence, finding
// it in a capture of any sample type, and input levels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "measure/delay_search.h"
#include "measure/levels.h"
#include "measure/mls.h"
#include "wav/sample_codec.h"
#include "simdriver/core/sim_clock.h"

namespace {

// A maximal sequence of order n passes through every n-bit state but zero once:
// its n-value windows, read round the end, are all different and never all -1.
TEST(CliMeasuring, SequencesAreMaximal) {
    for (int order = 10; order <= 16; ++order) {
        const std::vector<double> s = cli::maximumLengthSequence(order);
        ASSERT_EQ(s.size(), (std::size_t{1} << order) - 1) << "order " << order;
        std::vector<bool> seen(std::size_t{1} << order, false);
        for (std::size_t i = 0; i < s.size(); ++i) {
            std::size_t window = 0;
            for (int k = 0; k < order; ++k)
                window = window << 1 | (s[(i + static_cast<std::size_t>(k)) % s.size()] > 0);
            ASSERT_NE(window, 0u) << "order " << order;
            ASSERT_FALSE(seen[window]) << "order " << order << " repeats at " << i;
            seen[window] = true;
        }
    }
    EXPECT_TRUE(cli::maximumLengthSequence(9).empty());
    EXPECT_TRUE(cli::maximumLengthSequence(17).empty());
}

// What comes back on an input: the sequence played at -6 dBFS, `delay` frames
// late, scaled by `gain`, with uniform noise of `noise` peak, in the input's
// sample type; or an input with something else on it.
struct Return {
    const char* what;
    std::size_t delay;
    double gain;
    double noise;
    bool patternOnly;  // the simulated driver's known input pattern, nothing played
    bool expectFound;
};

std::vector<double> capturedAs(std::int32_t type, const std::vector<double>& sequence, const Return& r,
                               std::size_t frames) {
    std::vector<std::uint8_t> bytes(frames * 8);
    std::uint8_t scratch[8];
    const int width = cli::encodeSample(0, type, scratch);
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        double v = 0.0;
        if (r.patternOnly) {
            std::int32_t word = 0;
            for (int b = 0; b < 4; ++b)
                word |= static_cast<std::int32_t>(asiochan::sim::inputPatternByte(0, i * 4 + static_cast<unsigned>(b)))
                        << (8 * b);
            v = word / 2147483648.0;
        } else if (i >= r.delay && i - r.delay < sequence.size()) {
            v = 0.5 * r.gain * sequence[i - r.delay];
        }
        seed = seed * 1664525u + 1013904223u;
        v += r.noise * (static_cast<double>(seed >> 8) / 8388608.0 - 1.0);
        const double clipped = std::fmax(-1.0, std::fmin(v, 2147483647.0 / 2147483648.0));
        cli::encodeSample(static_cast<std::int32_t>(std::lround(clipped * 2147483648.0)), type,
                          &bytes[i * static_cast<std::size_t>(width)]);
    }
    std::vector<double> values(frames);
    cli::decodeUnitSamples(bytes.data(), frames, type, values.data());
    return values;
}

TEST(CliMeasuring, FindsTheSequenceInEveryTypeAndNothingElse) {
    const std::vector<double> sequence = cli::maximumLengthSequence(cli::kLatencySequenceOrder);
    const std::size_t maxDelay = 4000;
    const Return returns[] = {
        {"a clean loopback of one period", 256, 1.0, 0.0, false, true},
        {"no delay at all", 0, 1.0, 0.0, false, true},
        {"the longest delay looked for", maxDelay, 1.0, 0.0, false, true},
        {"inverted, 40 dB down, under noise 15 dB above it", 1234, -0.01, 0.05, false, true},
        {"silence", 0, 0.0, 0.0, false, false},
        {"noise alone", 0, 0.0, 0.5, false, false},
        {"the simulated driver's input pattern", 0, 0.0, 0.0, true, false},
    };
    // Every row in the two common types; the hardest in every type with a width.
    for (std::int32_t type = 0; type <= 40; ++type) {
        std::uint8_t scratch[8];
        if (cli::encodeSample(0, type, scratch) == 0) continue;
        for (const Return& r : returns) {
            if (type != 18 && type != 19 && &r != &returns[3]) continue;
            const cli::DelaySearch found =
                cli::findDelay(sequence, capturedAs(type, sequence, r, sequence.size() + maxDelay), maxDelay);
            EXPECT_EQ(found.found, r.expectFound) << r.what << ", type " << type << ", prominence " << found.prominence;
            if (!r.expectFound || !found.found) continue;
            EXPECT_EQ(found.delay, r.delay) << r.what << ", type " << type;
            EXPECT_EQ(found.inverted, r.gain < 0) << r.what << ", type " << type;
            EXPECT_NEAR(found.gain, std::fabs(r.gain) * 0.5, 0.05 * std::fabs(r.gain)) << r.what << ", type " << type;
        }
    }
}

TEST(CliMeasuring, LevelsAndTheirBars) {
    struct Row {
        const char* what;
        std::vector<double> samples;
        const char* peak;
        const char* rms;
        const char* bar;  // 20 characters, -60 to 0 dBFS
    };
    std::vector<double> sine(4800), square(4800);
    for (std::size_t i = 0; i < sine.size(); ++i) {
        sine[i] = 0.5 * std::sin(2 * 3.14159265358979323846 * static_cast<double>(i) / 48);
        square[i] = i % 48 < 24 ? 32767.0 / 32768.0 : -1.0;  // a 16-bit full-scale square
    }
    const Row rows[] = {
        {"full-scale square", square, "  0.0", "  0.0", "===================|"},
        {"sine at half scale", sine, " -6.0", " -9.0", "=================|--"},
        {"silence", std::vector<double>(100, 0.0), " -inf", " -inf", "--------------------"},
        {"nothing yet", {}, " -inf", " -inf", "--------------------"},
        {"a quiet click", {0.001, 0.0, 0.0, 0.0}, "-60.0", "-66.0", "--------------------"},
    };
    for (const Row& row : rows) {
        cli::LevelMeter meter;
        meter.add(row.samples.data(), row.samples.size());
        EXPECT_EQ(cli::formatDbfs(meter.peakDbfs()), row.peak) << row.what;
        EXPECT_EQ(cli::formatDbfs(meter.rmsDbfs()), row.rms) << row.what;
        EXPECT_EQ(cli::levelBar(meter.peakDbfs(), meter.rmsDbfs(), 20), row.bar) << row.what;
        meter.clear();
        EXPECT_EQ(meter.samples(), 0u);
    }
}

}  // namespace
