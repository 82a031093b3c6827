// `asiochan analyze`'s analysis of a whole take, fed by a take that plays the
// timeline through a model in place of a driver: the bench interface's figures
// worked out on paper, an AC-coupled input read once it has settled, and a clean
// wire whose figures all lie at their floors.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <map>

#include "measure/analyze_run.h"
#include "measure/analyze_take.h"
#include "measure/analyze_timeline.h"
#include "measure/take_analysis.h"
#include "simdriver/core/ac_coupled_model.h"
#include "simdriver/core/bench_model.h"
#include "simdriver/core/dut_model.h"

namespace {

enum class Loop { wire, bench, acCoupled, lowPass };

// Plays the timeline in 256-frame periods; each input hears the outputs
// `delay` frames late through the bench model, an AC-coupled input or a plain wire.
class ModelTake : public cli::Take {
public:
    ModelTake(Loop loop, std::size_t delay) : loop_(loop), delay_(delay) {}
    cli::TakeOutcome run(const cli::Timeline& t, cli::TakeSink& sink) override {
        const std::size_t n = t.pairs, period = 256;
        std::vector<double> played((t.recordedFrames() + period) * n, 0.0);
        t.render(0, t.recordedFrames(), played.data());
        asiochan::sim::BenchModel model(3);
        std::vector<asiochan::sim::AcCoupledModel> coupled;
        for (std::size_t k = 0; k < n; ++k) coupled.emplace_back(t.rate, k + 1);
        std::vector<asiochan::sim::DutModel> lowPass(n, asiochan::sim::DutModel(t.rate));
        std::vector<double> outputs(n);
        std::vector<std::int32_t> block(period * n);
        for (std::uint64_t at = 0; at < t.recordedFrames(); at += period) {
            for (std::size_t f = 0; f < period; ++f) {
                const std::uint64_t source = at + f;
                for (std::size_t k = 0; k < n; ++k)
                    outputs[k] = source >= delay_ ? std::ldexp(cli::toTakeSample(played[(source - delay_) * n + k]), -31) : 0.0;
                for (std::size_t k = 0; k < n; ++k) {
                    const double below = k > 0 ? outputs[k - 1] : 0.0;
                    block[f * n + k] = cli::toTakeSample(loop_ == Loop::bench       ? model.input(k, outputs[k], below)
                                                         : loop_ == Loop::acCoupled ? coupled[k].process(outputs[k])
                                                         : loop_ == Loop::lowPass   ? lowPass[k].process(outputs[k])
                                                                                    : outputs[k]);
                }
            }
            if (!sink.frames(at, block.data(), period)) break;
        }
        return {};
    }

private:
    Loop loop_;
    std::size_t delay_;
};

cli::AnalysisResults analyse(std::size_t pairs, Loop loop, std::size_t delay, bool oneByOne, bool* complete) {
    cli::Timeline timeline;
    EXPECT_EQ(cli::planTimeline(48000.0, pairs, oneByOne, 24000, &timeline), nullptr);
    std::vector<cli::PairChannels> channels;
    for (std::size_t p = 0; p < pairs; ++p) channels.push_back({int(p), int(p), 32, 32});
    cli::TakeAnalysis analysis(timeline, channels);
    ModelTake take(loop, delay);
    take.run(timeline, analysis);
    *complete = analysis.complete();
    return analysis.finish();
}

// The bench: gain -0.10 k dB (input 5 inverted at -0.50 dB), THD+N 0.197 %, noise
// -97.79 dBFS and -99.83 dBFS A-weighted, dynamic range 99.83 - 0.10 k dB, -90 dB
// from output k-1 into input k re that pair's own level, every other entry at
// the noise floor below -120 dB; within the tolerances a production line uses.
TEST(TakeAnalysis, BenchFiguresAsWorkedOut) {
    const struct {
        std::size_t pairs;
        bool oneByOne;
    } rows[] = {{8, false}, {7, true}};
    for (const auto& row : rows) {
        bool complete = false;
        const cli::AnalysisResults r = analyse(row.pairs, Loop::bench, 256, row.oneByOne, &complete);
        ASSERT_TRUE(complete) << row.pairs;
        for (std::size_t k = 0; k < row.pairs; ++k) {
            const cli::PairFigures& p = r.pairs[k];
            const double g = k == 5 ? -0.5 : -0.1 * double(k);
            ASSERT_TRUE(p.signal) << k;
            EXPECT_NEAR(p.gainDb, g, 0.02) << k;
            EXPECT_EQ(p.polarity, k == 5 ? -1 : 1) << k;
            EXPECT_EQ(p.latencyFrames, 256) << k;
            EXPECT_LT(p.responseDeviationDb, 0.01) << k;
            ASSERT_TRUE(p.thdnPercent.value) << k;
            EXPECT_NEAR(*p.thdnPercent.value, 0.197, 0.05 * 0.197) << k;
            ASSERT_TRUE(p.noiseDbfs.value && p.noiseADbfs.value && p.dynamicRangeDb.value) << k;
            EXPECT_NEAR(*p.noiseDbfs.value, -97.79, 0.3) << k;
            EXPECT_NEAR(*p.noiseADbfs.value, -99.83, 0.3) << k;
            EXPECT_NEAR(*p.dynamicRangeDb.value, 99.83 + g, 0.3) << k;
            for (std::size_t j = 0; j < row.pairs; ++j) {
                const cli::Figure& cell = r.crosstalkDb[j][k];
                if (j == k) {
                    EXPECT_FALSE(cell.measured());
                } else if (j + 1 == k) {
                    ASSERT_TRUE(cell.value) << j << " into " << k;
                    const double own = j == 5 ? -0.5 : -0.1 * double(j);
                    EXPECT_NEAR(*cell.value, -90.0 - own, 1.0) << j << " into " << k;
                } else {
                    EXPECT_TRUE(cell.floor && *cell.floor < -120.0 && !cell.value) << j << " into " << k;
                }
            }
        }
    }
}

// An AC-coupled input whose square term shifts its DC level at every step of the
// tone's level: the step decays through the 2 Hz blocker (80 ms), and a window
// opened 0.1 s after it read a dynamic range 27 dB low and crosstalk from outputs
// with no path to the input. Read once settled: the dynamic range of its -130 dB
// noise, THD+N its 2nd harmonic (0.001 x 0.891 / 2), no crosstalk above the floor.
TEST(TakeAnalysis, AcCoupledInputReadOnceSettled) {
    bool complete = false;
    const cli::AnalysisResults r = analyse(4, Loop::acCoupled, 256, false, &complete);
    ASSERT_TRUE(complete);
    for (std::size_t k = 0; k < 4; ++k) {
        const cli::PairFigures& p = r.pairs[k];
        ASSERT_TRUE(p.signal && p.dynamicRangeDb.value && p.thdnPercent.value) << k;
        EXPECT_NEAR(p.gainDb, 0.0, 0.01) << k;
        EXPECT_NEAR(*p.thdnPercent.value, 0.0446, 0.05 * 0.0446) << k;
        EXPECT_NEAR(*p.dynamicRangeDb.value, 129.83, 0.5) << k;
        for (std::size_t j = 0; j < 4; ++j) {
            const cli::Figure& cell = r.crosstalkDb[j][k];
            EXPECT_TRUE(j == k || (cell.floor && !cell.value && *cell.floor < -150.0))
                << j << " into " << k << ": " << cell.value.value_or(0.0);
        }
    }
}

// Through a 2 kHz low-pass the response falls by 28 dB to the band's top: the
// curve runs from one end of the band to the other, and the deviation is its
// largest point, the one the plot and the JSON show.
TEST(TakeAnalysis, ResponseDeviationOverTheCurveToTheBandsEnds) {
    bool complete = false;
    const cli::AnalysisResults r = analyse(1, Loop::lowPass, 0, false, &complete);
    ASSERT_TRUE(complete);
    const cli::PairFigures& p = r.pairs[0];
    ASSERT_TRUE(p.signal);
    ASSERT_GT(p.response.size(), 200u);
    EXPECT_EQ(p.response.front().first, 20.0);
    EXPECT_EQ(p.response.back().first, 20000.0);
    double largest = 0.0;
    for (const auto& [hz, db] : p.response) largest = std::max(largest, std::fabs(db));
    EXPECT_EQ(p.responseDeviationDb, largest);
    EXPECT_GT(p.responseDeviationDb, 25.0);  // the bilinear transform's warping adds to the analog 19 dB
}

// A plain wire at any delay: gain 0, polarity 1, the delay exact, and THD+N,
// noise, dynamic range and crosstalk all beyond their floors.
TEST(TakeAnalysis, CleanWireReachesEveryFloor) {
    for (const std::size_t delay : {std::size_t{0}, std::size_t{7001}}) {
        bool complete = false;
        const cli::AnalysisResults r = analyse(3, Loop::wire, delay, false, &complete);
        ASSERT_TRUE(complete);
        for (std::size_t k = 0; k < 3; ++k) {
            const cli::PairFigures& p = r.pairs[k];
            EXPECT_NEAR(p.gainDb, 0.0, 1e-6);
            EXPECT_EQ(p.polarity, 1);
            EXPECT_EQ(p.latencyFrames, static_cast<long long>(delay));
            for (const cli::Figure* f : {&p.thdnPercent, &p.thdnDb, &p.noiseDbfs, &p.noiseADbfs, &p.dynamicRangeDb})
                EXPECT_TRUE(f->floor && !f->value) << delay << " pair " << k;
            EXPECT_GT(*p.dynamicRangeDb.floor, 150.0);
            for (std::size_t j = 0; j < 3; ++j) {
                const cli::Figure& cell = r.crosstalkDb[j][k];
                EXPECT_TRUE(j == k || (cell.floor && !cell.value)) << j << " into " << k;
            }
        }
    }
}

}  // namespace

namespace {

// A take that answers a scripted outcome per attempt, playing through a wire when whole.
class ScriptedTake : public cli::Take {
public:
    explicit ScriptedTake(std::vector<cli::TakeOutcome::Kind> script) : script_(std::move(script)) {}
    cli::TakeOutcome run(const cli::Timeline& t, cli::TakeSink& sink) override {
        const cli::TakeOutcome::Kind kind = script_.at(attempts_++);
        if (kind != cli::TakeOutcome::Kind::whole) return {kind, "scripted"};
        return wire_.run(t, sink);
    }
    std::size_t attempts_ = 0;

private:
    std::vector<cli::TakeOutcome::Kind> script_;
    ModelTake wire_{Loop::wire, 256};
};

// The exit code a production line acts on: 0 pass, 1 a figure failed, 3 the take
// was not valid; skipped periods make the take again once.
TEST(TakeAnalysis, ExitCodes) {
    using K = cli::TakeOutcome::Kind;
    const struct {
        std::vector<K> script;
        const char* limits;
        int code;
        std::size_t attempts;
    } rows[] = {
        {{K::whole}, "{\"gain_db\": {\"min\": -0.01, \"max\": 0.01}}", 0, 1},
        {{K::skipped, K::whole}, "{}", 0, 2},
        {{K::skipped, K::skipped}, "{}", 3, 2},
        {{K::broken}, "{}", 3, 1},
        {{K::whole}, "{\"latency_frames\": {\"max\": 100}}", 1, 1},
        {{K::whole}, nullptr, 0, 1},  // no limits file: not judged
    };
    cli::Timeline timeline;
    ASSERT_EQ(cli::planTimeline(48000.0, 2, false, 24000, &timeline), nullptr);
    for (const auto& row : rows) {
        cli::Limits limits;
        std::string error;
        if (row.limits) {
            ASSERT_TRUE(cli::parseLimits(row.limits, &limits, &error));
        }
        ScriptedTake take(row.script);
        testing::internal::CaptureStdout();
        std::map<std::string, std::string> files;
        const int code = cli::runAnalysis(take, timeline, {{0, 0, 32, 32}, {1, 1, 32, 32}}, limits, {}, {"r.json", "", ""},
                                          [&](const std::string& path, const std::string& text) {
                                              files[path] = text;
                                              return true;
                                          });
        const std::string summary = testing::internal::GetCapturedStdout();
        const char* limitsText = row.limits ? row.limits : "none";
        EXPECT_EQ(code, row.code) << limitsText;
        if (row.code != 3) {
            EXPECT_EQ(summary.find("not judged") != std::string::npos, row.limits == nullptr) << summary;
            EXPECT_EQ(summary.find("PASSED") != std::string::npos, row.limits != nullptr && code == 0) << summary;
        }
        EXPECT_EQ(take.attempts_, row.attempts) << limitsText;
        EXPECT_EQ(files.count("r.json"), row.code == 3 ? 0u : 1u) << limitsText;
    }
}

}  // namespace
