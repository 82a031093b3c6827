// How long `asiochan analyze` takes over a take once it is recorded, and the
// command line's transform against the textbook one it replaced:
//   Analysis_64Pairs        the analysis (finish()) of a synthesised 64-pair take
//                           through the bench interface's model; its counter
//                           take_seconds is the take's length to set the time against
//   Transform_Textbook/<n>  a complex radix-2 transform of n points, bit reversal
//                           and one butterfly loop, the baseline
//   Transform_Complex/<n>   the command line's complex transform of n points
//   Transform_Real/<n>      its transform of n real points (what the analysis uses)
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <complex>
#include <cstdint>
#include <vector>

#include "measure/analyze_take.h"
#include "measure/analyze_timeline.h"
#include "measure/fft.h"
#include "measure/take_analysis.h"
#include "simdriver/core/bench_model.h"
#include "support/textbook_fft.h"

namespace {

constexpr std::size_t kPairs = 64;

// The take the bench interface records of the 64-pair timeline, 256 frames late,
// interleaved as the sink receives it: made once.
struct RecordedTake {
    cli::Timeline timeline;
    std::vector<std::int32_t> frames;
    RecordedTake() {
        cli::planTimeline(48000.0, kPairs, false, 24000, &timeline);
        const std::size_t n = kPairs, delay = 256;
        const std::uint64_t length = timeline.recordedFrames();
        std::vector<double> played(length * n);
        timeline.render(0, length, played.data());
        asiochan::sim::BenchModel model(3);
        frames.resize(length * n);
        for (std::uint64_t f = delay; f < length; ++f) {
            const double* out = &played[(f - delay) * n];
            for (std::size_t k = 0; k < n; ++k)
                frames[f * n + k] = cli::toTakeSample(model.input(k, out[k], k > 0 ? out[k - 1] : 0.0));
        }
    }
};

const RecordedTake& recordedTake() {
    static const RecordedTake take;
    return take;
}

void Analysis_64Pairs(benchmark::State& state) {
    const RecordedTake& take = recordedTake();
    std::vector<cli::PairChannels> channels;
    for (std::size_t p = 0; p < kPairs; ++p) channels.push_back({int(p), int(p), 32, 32});
    double processorSeconds = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        cli::TakeAnalysis analysis(take.timeline, channels);
        const std::uint64_t length = take.timeline.recordedFrames();
        for (std::uint64_t at = 0; at < length; at += 4096)
            analysis.frames(at, &take.frames[at * kPairs],
                            static_cast<std::size_t>(std::min<std::uint64_t>(4096, length - at)));
        const std::clock_t before = std::clock();
        state.ResumeTiming();
        benchmark::DoNotOptimize(analysis.finish());
        state.PauseTiming();
        processorSeconds += static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
        state.ResumeTiming();
    }
    state.counters["take_seconds"] = static_cast<double>(take.timeline.recordedFrames()) / take.timeline.rate;
    // The processor time of every thread: on a busy machine the real time says
    // more about the others; this over the cores is what a quiet machine takes.
    state.counters["all_threads_cpu_seconds"] = processorSeconds / static_cast<double>(state.iterations());
}
BENCHMARK(Analysis_64Pairs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

std::vector<std::complex<double>> noise(std::size_t n) {
    std::vector<std::complex<double>> x(n);
    std::uint32_t s = 1;
    for (auto& v : x) {
        s = s * 1664525u + 1013904223u;
        const double re = static_cast<double>(s >> 8) / 16777216.0 - 0.5;
        s = s * 1664525u + 1013904223u;
        v = {re, static_cast<double>(s >> 8) / 16777216.0 - 0.5};
    }
    return x;
}

void Transform_Textbook(benchmark::State& state) {
    const auto input = noise(static_cast<std::size_t>(state.range(0)));
    auto x = input;
    for (auto _ : state) {
        x = input;
        textbookFft(x, false);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(Transform_Textbook)->Arg(1 << 16)->Arg(1 << 18)->Unit(benchmark::kMicrosecond);

void Transform_Complex(benchmark::State& state) {
    const auto input = noise(static_cast<std::size_t>(state.range(0)));
    const cli::FftPlan plan(input.size());
    auto x = input;
    for (auto _ : state) {
        x = input;
        plan.transform(x.data(), false);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(Transform_Complex)->Arg(1 << 16)->Arg(1 << 18)->Unit(benchmark::kMicrosecond);

void Transform_Real(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<double> input;
    for (const auto& v : noise(n / 2)) input.insert(input.end(), {v.real(), v.imag()});
    const cli::RealFftPlan plan(n);
    std::vector<std::complex<double>> bins(n / 2 + 1);
    for (auto _ : state) {
        plan.forward(input.data(), bins.data());
        benchmark::DoNotOptimize(bins.data());
    }
}
BENCHMARK(Transform_Real)->Arg(1 << 16)->Arg(1 << 18)->Unit(benchmark::kMicrosecond);

}  // namespace
