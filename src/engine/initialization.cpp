#include "engine/initialization.h"

#include <algorithm>
#include <cmath>

#include "driver/call_layer.h"
#include "engine/engine_state.h"

using namespace asiochan;

namespace {
// The engine holds kMaxChannels records per direction; a driver that reports more
// (or a negative count) is bounded here, so no later loop can index past a table.
std::int32_t boundChannelCount(AsioLong reported) { return std::clamp<AsioLong>(reported, 0, kMaxChannels); }
}  // namespace

extern "C" std::int32_t ASIOCHAN_CDECL Initialize() {
    // The channel counts and the period size are what the prepared run's buffers
    // were made with; they may change only once that run is finished.
    if (engine.runPrepared.load(std::memory_order_acquire) != 0) return ASE_InvalidMode;
    ASIOError r = ASIOInit(&engine.initInfo);
    if (r != ASE_OK) return r;

    AsioLong inputs = engine.inputChannelCount, outputs = engine.outputChannelCount;
    r = ASIOGetChannels(&inputs, &outputs);
    engine.inputChannelCount = boundChannelCount(inputs);
    engine.outputChannelCount = boundChannelCount(outputs);
    if (r != ASE_OK) return r;

    AsioLong minSize = engine.bufferSizeMin, maxSize = engine.bufferSizeMax;
    AsioLong preferred = engine.bufferSizePreferred, granularity = engine.bufferSizeGranularity;
    r = ASIOGetBufferSize(&minSize, &maxSize, &preferred, &granularity);
    engine.bufferSizeMin = minSize;
    engine.bufferSizeMax = maxSize;
    engine.bufferSizePreferred = preferred;
    engine.bufferSizeGranularity = granularity;
    if (r != ASE_OK) return r;

    r = ASIOGetSampleRate(&engine.currentSampleRate);
    if (r != ASE_OK) return r;

    engine.outputReadySupported = (ASIOOutputReady() == ASE_OK) ? 1 : 0;
    return ASE_OK;
}

extern "C" std::int32_t ASIOCHAN_CDECL SetSampleRate(double rate) {
    // A rate that is not a positive finite number is not taken, and no driver is
    // asked for it (what a driver would make of a NaN is anybody's guess).
    if (!std::isfinite(rate) || rate <= 0.0) return ASE_NotPresent;
    const ASIOError r = ASIOSetSampleRate(rate);
    if (r != ASE_OK) return r;
    if (ASIOGetSampleRate(&engine.currentSampleRate) != ASE_OK) return ASE_NotPresent;
    // Exact equality on purpose: a rate that reads back differently was not taken.
    return engine.currentSampleRate == rate ? ASE_OK : ASE_NotPresent;
}

extern "C" std::int32_t ASIOCHAN_CDECL GetBufferSizeMax() { return engine.bufferSizeMax; }
extern "C" std::int32_t ASIOCHAN_CDECL GetBufferSizeMin() { return engine.bufferSizeMin; }
extern "C" std::int32_t ASIOCHAN_CDECL GetBufferSizePreferred() { return engine.bufferSizePreferred; }
extern "C" double ASIOCHAN_CDECL GetCurrentSampleRate() { return engine.currentSampleRate; }
extern "C" std::int32_t ASIOCHAN_CDECL GetInputChannelCount() { return engine.inputChannelCount; }
extern "C" std::int32_t ASIOCHAN_CDECL GetOutputChannelCount() { return engine.outputChannelCount; }
extern "C" std::int32_t ASIOCHAN_CDECL GetInputLatency() { return engine.inputLatency; }
extern "C" std::int32_t ASIOCHAN_CDECL GetOutputLatency() { return engine.outputLatency; }
