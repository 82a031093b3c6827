#include "engine/engine_state.h"

#include <cstring>

namespace asiochan {

EngineState engine;

namespace {
void resetCapture(CaptureChannel& c) {
    c.writePos = nullptr;
    c.copyPos = nullptr;
    c.framesLeft = 0;
    c.done = 0;
    c.userStart = nullptr;
    c.copyStart = nullptr;
    c.byteLength = 0;
}

void resetPlayback(PlaybackChannel& p) {
    p.current = nullptr;
    p.staged = nullptr;
    p.next = nullptr;
    p.readPos = nullptr;
    p.length = 0;
    p.nextLength = 0;
    p.readOffset = 0;
    p.idle = 0;
}
}  // namespace

void resetEngineStateForTests() {
    EngineState& e = engine;
    std::memset(&e.initInfo, 0, sizeof e.initInfo);
    e.inputChannelCount = 0;
    e.outputChannelCount = 0;
    e.bufferSizeMin = 0;
    e.bufferSizeMax = 0;
    e.bufferSizePreferred = 0;
    e.bufferSizeGranularity = 0;
    e.currentSampleRate = 0.0;
    e.outputReadySupported = 0;
    e.inputLatency = 0;
    e.outputLatency = 0;
    e.inputBufferCount = 0;
    e.outputBufferCount = 0;
    std::memset(e.bufferInfoTable, 0, sizeof e.bufferInfoTable);
    std::memset(e.channelInfoTable, 0, sizeof e.channelInfoTable);
    e.callbacks = ASIOCallbacks{};
    e.sampleSize[0] = 0;
    e.sampleSize[1] = 0;
    for (auto& w : e.entryWidth) w = 0;
    e.runPrepared = 0;
    e.requests.startRun();
    e.playbackRunning = 0;
    e.captureRunning = 0;
    for (auto& c : e.captureChannels) resetCapture(c);
    for (auto& p : e.playbackChannels) resetPlayback(p);
    for (int i = 0; i < kMaxChannels; ++i) e.canSendNext[i] = (i == 0) ? 1 : 0;
}

void storeSampleSize(int direction, ASIOSampleType type) {
    const std::int32_t width = sampleWidthOf(type);
    if (width != 0 && (direction == 0 || direction == 1)) engine.sampleSize[direction] = width;
}

}  // namespace asiochan
