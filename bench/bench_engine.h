// The benchmarks' engine: 64 outputs and 64 inputs of Int32LSB samples, set up as
// Prepare would set it up, over driver half-buffers of the benchmark's own.
#pragma once

#include <cstdint>
#include <vector>

#include "asiochan.h"
#include "driver/sample_types.h"
#include "engine/callbacks.h"
#include "engine/engine_state.h"
#include "support/test_library.h"

namespace asiochan::bench {

constexpr int kChannels = 64;
constexpr int kSampleBytes = 4;

struct DriverHalves {
    std::vector<std::vector<std::uint8_t>> halves[2];
    explicit DriverHalves(std::size_t bytes) {
        for (auto& side : halves) side.assign(2 * kChannels, std::vector<std::uint8_t>(bytes, 0x5a));
    }
};

// Sets a fresh engine up as Prepare would for 64 + 64 channels of `frames` frames.
inline void prepareEngine(DriverHalves& driver, std::int32_t frames) {
    testing::freshLibrary();
    engine().bufferSizePreferred = frames;
    engine().currentSampleRate = 48000.0;
    engine().sampleSize[0] = kSampleBytes;
    engine().sampleSize[1] = kSampleBytes;
    engine().outputBufferCount = kChannels;
    engine().inputBufferCount = kChannels;
    for (int k = 0; k < 2 * kChannels; ++k) {
        const bool input = k >= kChannels;
        engine().bufferInfoTable[k] = ASIOBufferInfo{
            input ? ASIOTrue : ASIOFalse, k % kChannels, {driver.halves[0][k].data(), driver.halves[1][k].data()}};
        engine().entryWidth[k] = kSampleBytes;
        engine().entryType[k] = ASIOSTInt32LSB;
    }
    for (int i = 0; i < kChannels; ++i) {
        engine().canSendNext[i] = 1;
        engine().playbackChannels[i].idle = 1;
        engine().captureChannels[i].done = 1;
    }
    engine().runPrepared = 1;
    // The callbacks serve the engine of the last Prepare; this set-up stands in for one.
    routeCallbacksTo(&testing::library().engine);
}

}  // namespace asiochan::bench
