// The start and finish of a driver run. Both change the shape of the run, so
// each holds the shape change (every channel claim) from its first step to its
// last: a channel call waits for it, or was over before it began.
#include <algorithm>

#include "driver/sample_types.h"
#include "engine/callbacks.h"
#include "engine/channel_reset.h"

namespace asiochan {

std::int32_t Engine::prepare() {
    const ShapeChange change(*this);
    const PeriodGuard::CallBound bound(periods_);
    if (state_.driverStuck.load(std::memory_order_acquire) != 0) return kDriverStuck;
    // A second Prepare without Finish: the run under way is finished first (its
    // buffers disposed of, its channels dropped), so the driver is never asked
    // to create buffers on top of live ones.
    if (state_.runPrepared.load(std::memory_order_acquire) != 0 && finishClaimed() == kDriverStuck)
        return kDriverStuck;
    closeStreamClaimed();

    // A period of an earlier run still under way must not see the tables change;
    // one held inside the driver keeps the buffers it has.
    state_.runPrepared.store(0, std::memory_order_seq_cst);
    if (!periods_.waitForPeriodsToLeave()) {
        state_.driverStuck.store(1, std::memory_order_seq_cst);
        return kDriverStuck;
    }

    state_.running.store(0, std::memory_order_seq_cst);
    // Requests the driver sends from its buffer creation on belong to the new run.
    state_.requests.startRun();
    state_.callbacks = engineCallbacks();
    // The driver about to get these buffers calls back into this state_.
    routeCallbacksTo(this);
    for (int i = 0; i < kMaxChannels; ++i) state_.canSendNext[i].store(1, std::memory_order_release);

    const std::int32_t outputs = state_.outputChannelCount.load();
    const std::int32_t inputs = state_.inputChannelCount.load();
    for (std::int32_t i = 0; i < outputs; ++i)
        state_.bufferInfoTable[i] = ASIOBufferInfo{ASIOFalse, i, {nullptr, nullptr}};
    for (std::int32_t j = 0; j < inputs; ++j)
        state_.bufferInfoTable[outputs + j] = ASIOBufferInfo{ASIOTrue, j, {nullptr, nullptr}};
    // The records of the device's channels start free; blocks they still hold
    // (queued while playback was not running, a stopped capture's copy) go now.
    resetPlaybackRecords(channelsBelow(outputs));
    resetCaptureRecords(channelsBelow(inputs));
    state_.inputBufferCount.store(inputs);
    state_.outputBufferCount.store(outputs);

    const ASIOError created = calls_.ASIOCreateBuffers(state_.bufferInfoTable, inputs + outputs,
                                                       state_.bufferSizePreferred.load(), &state_.callbacks);
    if (created == ASE_OK) {
        const std::int32_t entries = outputs + inputs;
        ASIOError last = ASE_OK;
        // The widths of this driver's buffers: a direction none of whose channels
        // names a sample type with a width moves no bytes, rather than keep the
        // width of an earlier run's driver and overrun this one's half-buffers.
        state_.sampleSize[0].store(0);
        state_.sampleSize[1].store(0);
        for (std::int32_t k = 0; k < entries; ++k) {
            ASIOChannelInfo& info = state_.channelInfoTable[k];
            info.channel = state_.bufferInfoTable[k].channelNum;
            info.isInput = state_.bufferInfoTable[k].isInput;
            last = calls_.ASIOGetChannelInfo(&info);
            state_.entryType[k].store(info.type);
            state_.entryWidth[k].store(last == ASE_OK ? sampleWidthOf(info.type) : 0);
            if (last == ASE_OK) storeSampleSize(state_, info.isInput != ASIOFalse ? 0 : 1, info.type);
        }
        if (last == ASE_OK) {
            AsioLong inputLatency = state_.inputLatency.load(), outputLatency = state_.outputLatency.load();
            calls_.ASIOGetLatencies(&inputLatency, &outputLatency);
            state_.inputLatency.store(inputLatency);
            state_.outputLatency.store(outputLatency);
        }
        state_.runPrepared.store(1, std::memory_order_seq_cst);
        // While a run is prepared the library's thread stays up for its dumps and blocks.
        housekeeper_.setKeepAlive(true);
        housekeeper_.ensureRunning();
    }
    return calls_.ASIOStart();
}

OutputsFed Engine::fedOutputTypes(ChannelMask channels, ASIOSampleType (&types)[kMaxChannels],
                                  std::uint32_t& shape) const {
    const ShapeLook look(playbackClaims_.direction);
    if (state_.runPrepared.load(std::memory_order_acquire) == 0) return OutputsFed::noRun;
    // Prepare puts output i at entry i of the buffer table. The count the driver
    // reports and the run's own are the same while it is prepared (Initialize is
    // refused then); the smaller one holds all the same.
    const std::int32_t outputs = std::min(state_.outputBufferCount.load(), state_.outputChannelCount.load());
    if ((channels & ~channelsBelow(outputs)) != 0) return OutputsFed::notAll;
    if ((channels & state_.streamOutputs.load(std::memory_order_acquire)) != 0) return OutputsFed::notAll;
    const std::int32_t outputWidth = state_.sampleSize[1].load();
    for (std::uint32_t i = 0; i < kMaxChannels; ++i) {
        if (!hasChannel(channels, i)) continue;
        const std::int32_t width = state_.entryWidth[i].load();
        if (width == 0 || width != outputWidth) return OutputsFed::notAll;
        types[i] = state_.entryType[i].load();
    }
    shape = shape_.load(std::memory_order_acquire);
    return OutputsFed::all;
}

std::int32_t Engine::finish() {
    const ShapeChange change(*this);
    const PeriodGuard::CallBound bound(periods_);
    return finishClaimed();
}

void Engine::finishPreparedRun(const ShapeChange& /*held*/) {
    const PeriodGuard::CallBound bound(periods_);
    // A run whose Finish found its period stuck is finished again: the period
    // may have left since, and its buffers can go before the driver does.
    if (state_.runPrepared.load(std::memory_order_acquire) != 0 || driverStuck()) finishClaimed();
    // The driver goes: so does the stream of its run.
    closeStreamClaimed();
}

std::int32_t Engine::finishClaimed() {
    // The stream ends with the run and stays readable until it is closed.
    stopStreamClaimed();
    stopPlaybackClaimed();
    stopCaptureClaimed();
    ASIOError r = calls_.ASIOStop();
    // From here on a period the driver still delivers does nothing, so the
    // records may be reset under it. The buffers go only once the driver's
    // thread has left the library: a period held inside the driver's
    // output-ready past the wait keeps them (and the driver object stays, see
    // the driver session); a later Finish disposes of them once it has left.
    state_.runPrepared.store(0, std::memory_order_seq_cst);
    if (periods_.waitForPeriodsToLeave()) {
        state_.driverStuck.store(0, std::memory_order_seq_cst);
        if (r == ASE_OK) r = calls_.ASIODisposeBuffers();
    } else {
        state_.driverStuck.store(1, std::memory_order_seq_cst);
        r = kDriverStuck;
    }
    resetPlaybackRecords(channelsBelow(state_.outputChannelCount.load()));
    resetCaptureRecords(channelsBelow(state_.inputChannelCount.load()));
    // The library's thread ends by itself once idle. The blocks the run's last
    // periods retired go now, so a finished run holds no memory.
    housekeeper_.setKeepAlive(false);
    retired_.releaseAll();
    return r;
}

}  // namespace asiochan
