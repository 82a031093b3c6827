// `asiochan analyze`'s analysis of a whole take, fed by a take that plays the
// timeline through a model in place of a driver: the bench interface's figures
// worked out on paper, and a clean wire whose figures all lie at their floors.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <map>

#include "measure/analyze_run.h"
#include "measure/analyze_take.h"
#include "measure/analyze_timeline.h"
#include "measure/take_analysis.h"
#include "simdriver/core/bench_model.h"

namespace {

// Plays the timeline in 256-frame periods; each input hears the outputs
// `delay` frames late through the bench model, or as a plain wire.
class ModelTake : public cli::Take {
public:
    ModelTake(bool bench, std::size_t delay) : bench_(bench), delay_(delay) {}
    cli::TakeOutcome run(const cli::Timeline& t, cli::TakeSink& sink) override {
        const std::size_t n = t.pairs, period = 256;
        std::vector<double> played((t.recordedFrames() + period) * n, 0.0);
        t.render(0, t.recordedFrames(), played.data());
        asiochan::sim::BenchModel model(3);
        std::vector<double> outputs(n);
        std::vector<std::int32_t> block(period * n);
        for (std::uint64_t at = 0; at < t.recordedFrames(); at += period) {
            for (std::size_t f = 0; f < period; ++f) {
                const std::uint64_t source = at + f;
                for (std::size_t k = 0; k < n; ++k)
                    outputs[k] = source >= delay_ ? std::ldexp(cli::toTakeSample(played[(source - delay_) * n + k]), -31) : 0.0;
                for (std::size_t k = 0; k < n; ++k)
                    block[f * n + k] = cli::toTakeSample(bench_ ? model.input(k, outputs[k], k > 0 ? outputs[k - 1] : 0.0) : outputs[k]);
            }
            if (!sink.frames(at, block.data(), period)) break;
        }
        return {};
    }

private:
    bool bench_;
    std::size_t delay_;
};

cli::AnalysisResults analyse(std::size_t pairs, bool bench, std::size_t delay, bool oneByOne, bool* complete) {
    cli::Timeline timeline;
    EXPECT_EQ(cli::planTimeline(48000.0, pairs, oneByOne, 24000, &timeline), nullptr);
    std::vector<cli::PairChannels> channels;
    for (std::size_t p = 0; p < pairs; ++p) channels.push_back({int(p), int(p), 32, 32});
    cli::TakeAnalysis analysis(timeline, channels);
    ModelTake take(bench, delay);
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
        const cli::AnalysisResults r = analyse(row.pairs, true, 256, row.oneByOne, &complete);
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

// A plain wire at any delay: gain 0, polarity 1, the delay exact, and THD+N,
// noise, dynamic range and crosstalk all beyond their floors.
TEST(TakeAnalysis, CleanWireReachesEveryFloor) {
    for (const std::size_t delay : {std::size_t{0}, std::size_t{7001}}) {
        bool complete = false;
        const cli::AnalysisResults r = analyse(3, false, delay, false, &complete);
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
    ModelTake wire_{false, 256};
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
    };
    cli::Timeline timeline;
    ASSERT_EQ(cli::planTimeline(48000.0, 2, false, 24000, &timeline), nullptr);
    for (const auto& row : rows) {
        cli::Limits limits;
        std::string error;
        ASSERT_TRUE(cli::parseLimits(row.limits, &limits, &error));
        ScriptedTake take(row.script);
        std::map<std::string, std::string> files;
        const int code = cli::runAnalysis(take, timeline, {{0, 0, 32, 32}, {1, 1, 32, 32}}, limits, {}, {"r.json", "", ""},
                                          [&](const std::string& path, const std::string& text) {
                                              files[path] = text;
                                              return true;
                                          });
        EXPECT_EQ(code, row.code) << row.limits;
        EXPECT_EQ(take.attempts_, row.attempts) << row.limits;
        EXPECT_EQ(files.count("r.json"), row.code == 3 ? 0u : 1u) << row.limits;
    }
}

}  // namespace
