#include "engine/run_control.h"

#include "driver/call_layer.h"
#include "engine/buffer_switch.h"
#include "engine/capture.h"
#include "engine/channel_reset.h"
#include "engine/driver_messages.h"
#include "engine/engine_state.h"
#include "engine/period_guard.h"
#include "engine/playback.h"

using namespace asiochan;

extern "C" std::int32_t ASIOCHAN_CDECL Prepare() {
    // A second Prepare without Finish: the run under way is finished first (its
    // buffers disposed of, its channels dropped), so the driver is never asked
    // to create buffers on top of live ones.
    if (engine.runPrepared.load(std::memory_order_acquire) != 0) Finish();

    // A period of an earlier run still under way must not see the tables change.
    engine.runPrepared.store(0, std::memory_order_seq_cst);
    waitForPeriodsInFlight();

    engine.playbackRunning.store(0, std::memory_order_seq_cst);
    engine.captureRunning.store(0, std::memory_order_seq_cst);
    // Requests the driver sends from its buffer creation on belong to the new run.
    engine.requests.startRun();
    engine.callbacks.bufferSwitch = &bufferSwitch;
    engine.callbacks.sampleRateDidChange = &sampleRateDidChange;
    engine.callbacks.asioMessage = &asioMessage;
    engine.callbacks.bufferSwitchTimeInfo = &bufferSwitchTimeInfo;
    for (int i = 0; i < kMaxChannels; ++i) engine.canSendNext[i].store(1, std::memory_order_release);

    const std::int32_t outputs = engine.outputChannelCount.load();
    const std::int32_t inputs = engine.inputChannelCount.load();
    for (std::int32_t i = 0; i < outputs; ++i) engine.bufferInfoTable[i] = ASIOBufferInfo{ASIOFalse, i, {nullptr, nullptr}};
    for (std::int32_t j = 0; j < inputs; ++j)
        engine.bufferInfoTable[outputs + j] = ASIOBufferInfo{ASIOTrue, j, {nullptr, nullptr}};
    // The records of the device's channels start free; blocks they still hold
    // (queued while playback was not running, a stopped capture's copy) go now.
    resetPlaybackChannels(channelsBelow(outputs));
    resetCaptureChannels(channelsBelow(inputs));
    engine.inputBufferCount.store(inputs);
    engine.outputBufferCount.store(outputs);

    const ASIOError created =
        ASIOCreateBuffers(engine.bufferInfoTable, inputs + outputs, engine.bufferSizePreferred.load(), &engine.callbacks);
    if (created == ASE_OK) {
        const std::int32_t entries = outputs + inputs;
        ASIOError last = ASE_OK;
        // The widths of this driver's buffers: a direction none of whose channels
        // names a sample type with a width moves no bytes, rather than keep the
        // width of an earlier run's driver and overrun this one's half-buffers.
        engine.sampleSize[0].store(0);
        engine.sampleSize[1].store(0);
        for (std::int32_t k = 0; k < entries; ++k) {
            ASIOChannelInfo& info = engine.channelInfoTable[k];
            info.channel = engine.bufferInfoTable[k].channelNum;
            info.isInput = engine.bufferInfoTable[k].isInput;
            last = ASIOGetChannelInfo(&info);
            engine.entryWidth[k].store(last == ASE_OK ? sampleWidthOf(info.type) : 0);
            if (last == ASE_OK) storeSampleSize(info.isInput != ASIOFalse ? 0 : 1, info.type);
        }
        if (last == ASE_OK) {
            AsioLong inputLatency = engine.inputLatency.load(), outputLatency = engine.outputLatency.load();
            ASIOGetLatencies(&inputLatency, &outputLatency);
            engine.inputLatency.store(inputLatency);
            engine.outputLatency.store(outputLatency);
        }
        engine.runPrepared.store(1, std::memory_order_seq_cst);
    }
    return ASIOStart();
}

extern "C" std::int32_t ASIOCHAN_CDECL Finish() {
    StopPlayback();
    StopCapture();
    ASIOError r = ASIOStop();
    // From here on a period the driver still delivers does nothing, so the
    // buffers may go and the records may be reset under it.
    engine.runPrepared.store(0, std::memory_order_seq_cst);
    waitForPeriodsInFlight();
    if (r == ASE_OK) r = ASIODisposeBuffers();
    resetPlaybackChannels(channelsBelow(engine.outputChannelCount.load()));
    resetCaptureChannels(channelsBelow(engine.inputChannelCount.load()));
    return r;
}
