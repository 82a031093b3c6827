// One period of the engine with 64 outputs and 64 inputs of 4-byte samples, every
// channel busy (each output playing, each input capturing with a shadow copy),
// beside a baseline that only moves the same bytes: per output one copy into the
// half-buffer; per input two copies out of the half-buffer and one clear.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench_engine.h"

namespace asiochan {
namespace {

using bench::DriverHalves;
using bench::kChannels;
using bench::kSampleBytes;
using bench::prepareEngine;
constexpr int kPeriodsPerBlock = 16;  // playback blocks and capture buffers span this many periods

void BM_Period(benchmark::State& state) {
    const auto frames = static_cast<std::int32_t>(state.range(0));
    const std::size_t periodBytes = static_cast<std::size_t>(frames) * kSampleBytes;
    DriverHalves driver(periodBytes);
    prepareEngine(driver, frames);
    const std::vector<std::uint8_t> sound(periodBytes * kPeriodsPerBlock, 0x33);
    const auto blockBytes = static_cast<std::int32_t>(sound.size());
    // One period longer than the re-arming interval, so no capture completes (and
    // writes its dump files) inside the timed periods.
    const auto captureBytes = static_cast<std::int32_t>(sound.size() + periodBytes);
    std::vector<std::vector<std::uint8_t>> targets(kChannels, std::vector<std::uint8_t>(captureBytes));

    for (std::uint32_t ch = 0; ch < kChannels; ++ch) {
        SetPlayBuffer(sound.data(), blockBytes, ch);
        SetPlayBuffer(sound.data(), blockBytes, ch);
    }
    StartPlayback();
    int period = 0;
    for (auto _ : state) {
        // Between blocks (outside the timing): queue the next playback blocks and
        // re-arm the captures before they complete (completion writes dump files).
        if (period % kPeriodsPerBlock == 0) {
            state.PauseTiming();
            StopCapture();
            for (std::uint32_t ch = 0; ch < kChannels; ++ch) {
                if (IsCanSendNextPlaybackBuffer(ch)) SetPlayBuffer(sound.data(), blockBytes, ch);
                SetCaptureBuffer(targets[ch].data(), captureBytes, ch);
            }
            StartCapture();
            state.ResumeTiming();
        }
        bufferSwitch(period & 1, ASIOTrue);
        ++period;
    }
    StopPlayback();
    StopCapture();
    engine().runPrepared = 0;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(periodBytes) * kChannels * 4);
}

void BM_Baseline(benchmark::State& state) {
    const auto frames = static_cast<std::int32_t>(state.range(0));
    const std::size_t periodBytes = static_cast<std::size_t>(frames) * kSampleBytes;
    DriverHalves driver(periodBytes);
    const std::size_t blockBytes = periodBytes * kPeriodsPerBlock;
    // Like the engine: a block of its own per output channel, a buffer and a copy per input.
    std::vector<std::vector<std::uint8_t>> sources(kChannels, std::vector<std::uint8_t>(blockBytes, 0x33));
    std::vector<std::vector<std::uint8_t>> targets(kChannels, std::vector<std::uint8_t>(blockBytes));
    std::vector<std::vector<std::uint8_t>> copies(kChannels, std::vector<std::uint8_t>(blockBytes));
    int period = 0;
    for (auto _ : state) {
        const int index = period & 1;
        const std::size_t at = static_cast<std::size_t>(period % kPeriodsPerBlock) * periodBytes;
        for (int ch = 0; ch < kChannels; ++ch)
            std::memcpy(driver.halves[index][ch].data(), sources[ch].data() + at, periodBytes);
        for (int ch = 0; ch < kChannels; ++ch) {
            std::uint8_t* half = driver.halves[index][kChannels + ch].data();
            std::memcpy(targets[ch].data() + at, half, periodBytes);
            std::memcpy(copies[ch].data() + at, half, periodBytes);
            std::memset(half, 0, periodBytes);
        }
        benchmark::ClobberMemory();
        ++period;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(periodBytes) * kChannels * 4);
}

// A period in which every channel ends: 64 captures complete (each with a
// shadow copy, so each posts a dump) and 64 playback blocks run out, beside a
// steady period of the same channels with nothing ending. Both pause around each
// period alike; the ratio of the two is what the ends cost the driver's thread.
void periodWithEnds(benchmark::State& state, bool everyChannelEnds) {
    const auto frames = static_cast<std::int32_t>(state.range(0));
    const auto periodBytes = static_cast<std::int32_t>(frames * kSampleBytes);
    DriverHalves driver(static_cast<std::size_t>(periodBytes));
    prepareEngine(driver, frames);
    const std::int32_t blockBytes = everyChannelEnds ? periodBytes : periodBytes * kPeriodsPerBlock;
    const std::int32_t captureBytes = everyChannelEnds ? periodBytes : blockBytes + periodBytes;
    const std::vector<std::uint8_t> sound(static_cast<std::size_t>(blockBytes), 0x33);
    std::vector<std::vector<std::uint8_t>> targets(kChannels, std::vector<std::uint8_t>(captureBytes));
    int period = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (everyChannelEnds || period % kPeriodsPerBlock == 0) {
            // The dumps the last period handed off are written here, outside the timing.
            StopCapture();
            for (std::uint32_t ch = 0; ch < kChannels; ++ch) {
                if (everyChannelEnds || IsCanSendNextPlaybackBuffer(ch)) SetPlayBuffer(sound.data(), blockBytes, ch);
                if (!everyChannelEnds && period == 0) SetPlayBuffer(sound.data(), blockBytes, ch);
                SetCaptureBuffer(targets[ch].data(), captureBytes, ch);
            }
            StartPlayback();
            StartCapture();
        }
        state.ResumeTiming();
        bufferSwitch(period & 1, ASIOTrue);
        ++period;
    }
    StopPlayback();
    StopCapture();
    engine().runPrepared = 0;
}

void BM_SteadyPeriod(benchmark::State& state) { periodWithEnds(state, false); }
void BM_EveryChannelEnds(benchmark::State& state) { periodWithEnds(state, true); }

BENCHMARK(BM_SteadyPeriod)->Arg(256);
BENCHMARK(BM_EveryChannelEnds)->Arg(256);
BENCHMARK(BM_Baseline)->Arg(32)->Arg(64)->Arg(256)->Arg(1024);
BENCHMARK(BM_Period)->Arg(32)->Arg(64)->Arg(256)->Arg(1024);

}  // namespace
}  // namespace asiochan
