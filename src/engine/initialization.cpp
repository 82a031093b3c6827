// Reading a loaded driver's capabilities and setting its sample rate; the
// engine's life.
#include <algorithm>
#include <cmath>

#include "driver/sample_types.h"
#include "engine/callbacks.h"
#include "engine/channel_blocks.h"
#include "engine/engine.h"

namespace asiochan {

namespace {
// The engine holds kMaxChannels records per direction; a driver that reports more
// (or a negative count) is bounded here, so no later loop can index past a table.
std::int32_t boundChannelCount(AsioLong reported) { return std::clamp<AsioLong>(reported, 0, kMaxChannels); }

// How long a going engine waits for its thread to write the dumps still pending.
constexpr std::uint32_t kHousekeeperStopWaitMs = 10000;
}  // namespace

Engine::Engine(DriverCalls& calls) : calls_(calls) { housekeeper_.wakeStreamsWith(&stream_.wake); }

// By the time an engine goes its driver is stopped (the driver session goes
// first); the blocks its records still hold are released.
Engine::~Engine() {
    unrouteCallbacks(this);
    closeStreamClaimed();
    // The library's thread ends after the dumps still pending; what it leaves goes here.
    housekeeper_.setKeepAlive(false);
    housekeeper_.stop(kHousekeeperStopWaitMs);
    dumps_.writePending();
    retired_.releaseAll();
    for (PlaybackChannel& p : state_.playbackChannels) {
        std::uint8_t* current = p.current.exchange(nullptr);
        std::uint8_t* next = p.next.exchange(nullptr);
        releaseBlock(current);
        if (next != current) releaseBlock(next);
    }
    for (CaptureChannel& c : state_.captureChannels) releaseBlock(c.copyStart.exchange(nullptr));
}

void storeSampleSize(EngineState& state, int direction, ASIOSampleType type) {
    const std::int32_t width = sampleWidthOf(type);
    if (width != 0 && (direction == 0 || direction == 1)) state.sampleSize[direction] = width;
}

std::int32_t Engine::initialize() {
    const ShapeChange change(*this);
    // The channel counts and the period size are what the prepared run's buffers
    // were made with; they may change only once that run is finished.
    if (state_.runPrepared.load(std::memory_order_acquire) != 0) return ASE_InvalidMode;
    if (state_.driverStuck.load(std::memory_order_acquire) != 0) return kDriverStuck;
    ASIOError r = calls_.ASIOInit(&state_.initInfo);
    if (r != ASE_OK) return r;

    AsioLong inputs = state_.inputChannelCount, outputs = state_.outputChannelCount;
    r = calls_.ASIOGetChannels(&inputs, &outputs);
    state_.inputChannelCount = boundChannelCount(inputs);
    state_.outputChannelCount = boundChannelCount(outputs);
    if (r != ASE_OK) return r;

    AsioLong minSize = state_.bufferSizeMin, maxSize = state_.bufferSizeMax;
    AsioLong preferred = state_.bufferSizePreferred, granularity = state_.bufferSizeGranularity;
    r = calls_.ASIOGetBufferSize(&minSize, &maxSize, &preferred, &granularity);
    state_.bufferSizeMin = minSize;
    state_.bufferSizeMax = maxSize;
    state_.bufferSizePreferred = preferred;
    state_.bufferSizeGranularity = granularity;
    if (r != ASE_OK) return r;

    double rate = state_.currentSampleRate.load();
    r = calls_.ASIOGetSampleRate(&rate);
    state_.currentSampleRate.store(rate);
    if (r != ASE_OK) return r;

    state_.outputReadySupported = (calls_.ASIOOutputReady() == ASE_OK) ? 1 : 0;
    return ASE_OK;
}

std::int32_t Engine::setSampleRate(double rate) {
    // A rate that is not a positive finite number is not taken, and no driver is
    // asked for it (what a driver would make of a NaN is anybody's guess).
    if (!std::isfinite(rate) || rate <= 0.0) return ASE_NotPresent;
    const ShapeChange change(*this);
    const ASIOError r = calls_.ASIOSetSampleRate(rate);
    if (r != ASE_OK) return r;
    double readBack = state_.currentSampleRate.load();
    const ASIOError read = calls_.ASIOGetSampleRate(&readBack);
    state_.currentSampleRate.store(readBack);
    if (read != ASE_OK) return ASE_NotPresent;
    // Exact equality on purpose: a rate that reads back differently was not taken.
    return readBack == rate ? ASE_OK : ASE_NotPresent;
}

}  // namespace asiochan
