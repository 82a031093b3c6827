// The stream's cost and its wake-ups. A period of a 64-in/64-out stream against
// the same channels through one-shot captures (CaptureBuff, no shadow copy) and
// two-deep playback; ReadStream FLOAT32 of 64 Int32 inputs against a plain copy
// of the same bytes; and the delay from the period that brings frames to the
// return of a ReadStream that waited for them, on the free-running simulated
// driver at 64- and 256-frame periods (median and 99th percentile, as counters).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "bench_engine.h"
#include "platform/platform.h"
#include "simdriver/core/sim_driver.h"

namespace asiochan {
namespace {

using bench::DriverHalves;
using bench::kChannels;
using bench::kSampleBytes;
using bench::prepareEngine;
constexpr int kPeriodsPerBlock = 16;

AsiochanStreamConfig allChannels(std::int32_t format, std::int32_t ringFrames) {
    AsiochanStreamConfig c{};
    c.size = sizeof c;
    c.format = format;
    c.inputCount = c.outputCount = kChannels;
    c.ringFrames = ringFrames;
    for (int i = 0; i < kChannels; ++i) c.inputs[i] = c.outputs[i] = static_cast<std::uint8_t>(i);
    return c;
}

// Periods of a stream of every channel; the application reads and writes a
// block's frames between blocks, outside the timing.
void BM_StreamPeriod(benchmark::State& state) {
    const auto frames = static_cast<std::int32_t>(state.range(0));
    DriverHalves driver(static_cast<std::size_t>(frames) * kSampleBytes);
    prepareEngine(driver, frames);
    const AsiochanStreamConfig c = allChannels(ASIOCHAN_STREAM_NATIVE, 2 * kPeriodsPerBlock * frames);
    if (OpenStream(&c) != ASE_OK) state.SkipWithError("OpenStream failed");
    std::vector<std::uint8_t> block(static_cast<std::size_t>(kPeriodsPerBlock) * frames * kChannels * kSampleBytes,
                                    0x33);
    WriteStream(block.data(), kPeriodsPerBlock * frames, 0, nullptr);
    StartStream();
    int period = 0;
    for (auto _ : state) {
        if (period % kPeriodsPerBlock == 0) {
            state.PauseTiming();
            while (ReadStream(block.data(), kPeriodsPerBlock * frames, 0, nullptr) > 0) {
            }
            WriteStream(block.data(), kPeriodsPerBlock * frames, 0, nullptr);
            state.ResumeTiming();
        }
        bufferSwitch(period & 1, ASIOTrue);
        ++period;
    }
    CloseStream();
    engine().runPrepared = 0;
}

// The same channels through the channel API: captures re-armed and blocks queued
// between blocks, outside the timing.
void BM_ChannelPeriod(benchmark::State& state) {
    const auto frames = static_cast<std::int32_t>(state.range(0));
    const auto periodBytes = frames * kSampleBytes;
    DriverHalves driver(static_cast<std::size_t>(periodBytes));
    prepareEngine(driver, frames);
    const std::int32_t bytes = periodBytes * kPeriodsPerBlock;
    const std::vector<std::uint8_t> sound(static_cast<std::size_t>(bytes), 0x33);
    std::vector<std::vector<std::uint8_t>> targets(kChannels, std::vector<std::uint8_t>(bytes + periodBytes));
    std::vector<CaptureRequest> requests(kChannels);
    for (std::uint32_t ch = 0; ch < kChannels; ++ch) {
        SetPlayBuffer(sound.data(), bytes, ch);
        SetPlayBuffer(sound.data(), bytes, ch);
        requests[ch] = CaptureRequest{targets[ch].data(), bytes + periodBytes, ch};
    }
    StartPlayback();
    int period = 0;
    for (auto _ : state) {
        if (period % kPeriodsPerBlock == 0) {
            state.PauseTiming();
            CaptureBuff(requests.data(), kChannels);
            for (std::uint32_t ch = 0; ch < kChannels; ++ch)
                if (IsCanSendNextPlaybackBuffer(ch)) SetPlayBuffer(sound.data(), bytes, ch);
            state.ResumeTiming();
        }
        bufferSwitch(period & 1, ASIOTrue);
        ++period;
    }
    StopPlayback();
    StopCapture();
    engine().runPrepared = 0;
}

// ReadStream FLOAT32 of a ring holding 64 Int32 inputs, refilled outside the timing.
void BM_ReadStreamFloat32(benchmark::State& state) {
    const auto frames = static_cast<std::int32_t>(state.range(0));
    DriverHalves driver(static_cast<std::size_t>(frames) * kSampleBytes);
    prepareEngine(driver, frames);
    AsiochanStreamConfig c = allChannels(ASIOCHAN_STREAM_FLOAT32, 2 * frames);
    c.outputCount = 0;
    if (OpenStream(&c) != ASE_OK) state.SkipWithError("OpenStream failed");
    StartStream();
    std::vector<float> out(static_cast<std::size_t>(frames) * kChannels);
    int period = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bufferSwitch(period++ & 1, ASIOTrue);
        state.ResumeTiming();
        benchmark::DoNotOptimize(ReadStream(out.data(), frames, 0, nullptr));
        benchmark::ClobberMemory();
    }
    CloseStream();
    engine().runPrepared = 0;
    state.SetBytesProcessed(state.iterations() * std::int64_t{frames} * kChannels * 4);
}

// The baseline: a plain copy of the same bytes.
void BM_PlainCopy(benchmark::State& state) {
    const auto frames = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint8_t> ring(frames * kChannels * 4, 0x21), out(frames * kChannels * 4);
    for (auto _ : state) {
        std::memcpy(out.data(), ring.data(), out.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}

// When the last period ended, from the simulated driver's clock thread.
std::atomic<std::uint64_t> lastPeriodMicros{0};
void notePeriodEnd(void*, const sim::ClockBuffer*, std::size_t, int) {
    lastPeriodMicros.store(platform::monotonicMicros(), std::memory_order_release);
}

// A ReadStream that waits for one period's frames, woken by the library's thread.
void BM_ReadStreamWakeDelay(benchmark::State& state) {
    const auto frames = static_cast<AsioLong>(state.range(0));
    testing::freshLibrary();
    sim::SimConfig config;
    config.inputs = config.outputs = 2;
    config.bufferPreferred = frames;
    config.keepCallLog = false;
    auto* driver = new sim::SimDriver(config);
    driverCalls().setCurrent(driver);
    driver->clock().options().freeRunning = true;
    driver->clock().options().periodMicros = static_cast<std::uint32_t>(frames * 1000000 / 48000);
    driver->clock().options().recordOutputs = false;
    driver->clock().options().periodObserver = &notePeriodEnd;
    Initialize();
    Prepare();
    AsiochanStreamConfig c{};
    c.size = sizeof c;
    c.format = ASIOCHAN_STREAM_FLOAT32;
    c.inputCount = 1;
    OpenStream(&c);
    StartStream();
    std::vector<float> in(static_cast<std::size_t>(frames));
    std::vector<double> delays;
    for (auto _ : state) {
        // Drain, then wait for the next period's frames.
        while (ReadStream(in.data(), static_cast<std::int32_t>(frames), 0, nullptr) > 0) {
        }
        ReadStream(in.data(), 1, 1000, nullptr);
        delays.push_back(double(platform::monotonicMicros() - lastPeriodMicros.load(std::memory_order_acquire)));
    }
    CloseStream();
    Finish();
    driverCalls().setCurrent(nullptr);
    driver->Release();
    testing::dropLibrary();
    std::sort(delays.begin(), delays.end());
    if (!delays.empty()) {
        state.counters["median_us"] = delays[delays.size() / 2];
        state.counters["p99_us"] = delays[std::min(delays.size() - 1, delays.size() * 99 / 100)];
        state.counters["period_us"] = double(frames) * 1e6 / 48000.0;
    }
}

BENCHMARK(BM_ChannelPeriod)->Arg(256);
BENCHMARK(BM_StreamPeriod)->Arg(256);
BENCHMARK(BM_PlainCopy)->Arg(256);
BENCHMARK(BM_ReadStreamFloat32)->Arg(256);
BENCHMARK(BM_ReadStreamWakeDelay)->Arg(64)->Arg(256)->Iterations(500)->UseRealTime();

}  // namespace
}  // namespace asiochan
