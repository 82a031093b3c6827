#include "engine/capture.h"

#include <cstring>

#include "driver/asio_types.h"
#include "engine/channel_blocks.h"
#include "engine/channel_reset.h"
#include "engine/engine_state.h"
#include "engine/housekeeper.h"
#include "engine/run_flags.h"

using namespace asiochan;

namespace {

// Takes a record back from the period processing (withdrawn, so no period
// works on it) and drops the blocks of an earlier capture. A record that is free
// (`done` 1) with no block needs nothing. The caller arms it and then returns it.
bool takeBackForArming(std::uint32_t channel) {
    CaptureChannel& c = engine.captureChannels[channel];
    if (c.done.load(std::memory_order_acquire) != 0 && c.copyStart.load(std::memory_order_acquire) == nullptr)
        return false;
    const bool quiet = withdrawChannels(captureWithdrawn, ChannelMask{1} << channel);
    // A completed capture whose dump is still pending keeps its files.
    captureDumps.settle(ChannelMask{1} << channel);
    c.writePos.store(nullptr, std::memory_order_seq_cst);
    std::uint8_t* copy = c.copyStart.exchange(nullptr, std::memory_order_acq_rel);
    c.copyPos.store(nullptr, std::memory_order_relaxed);
    if (quiet) releaseBlock(copy);
    return true;
}

// Stores the record's fields for a capture into `buffer` and hands it to the
// period processing (key field last).
void arm(std::uint32_t channel, std::uint8_t* buffer, std::int32_t byteLength, std::uint8_t* copy) {
    CaptureChannel& c = engine.captureChannels[channel];
    c.framesLeft.store(byteLength / engine.sampleSize[0].load(std::memory_order_relaxed),
                       std::memory_order_relaxed);
    c.userStart.store(buffer, std::memory_order_relaxed);
    c.byteLength.store(byteLength, std::memory_order_relaxed);
    c.copyStart.store(copy, std::memory_order_relaxed);
    c.copyPos.store(copy, std::memory_order_relaxed);
    c.done.store(0, std::memory_order_seq_cst);
    c.writePos.store(buffer, std::memory_order_seq_cst);
}

}  // namespace

namespace asiochan {

void resetCaptureChannels(ChannelMask channels) {
    const ChannelClaim claim(captureClaims, channels);
    const bool quiet = withdrawChannels(captureWithdrawn, channels);
    // Completed captures whose dumps are still pending keep their files: they are
    // written here, before the records are reset.
    captureDumps.settle(channels);
    for (std::uint32_t i = 0; i < kMaxChannels; ++i) {
        if (!hasChannel(channels, i)) continue;
        CaptureChannel& c = engine.captureChannels[i];
        c.writePos.store(nullptr, std::memory_order_seq_cst);
        std::uint8_t* copy = c.copyStart.exchange(nullptr, std::memory_order_acq_rel);
        c.copyPos.store(nullptr, std::memory_order_relaxed);
        if (quiet) releaseBlock(copy);
        c.framesLeft.store(0, std::memory_order_relaxed);
        c.done.store(1, std::memory_order_seq_cst);  // hands the channel back last
    }
    returnChannels(captureWithdrawn, channels);
}

}  // namespace asiochan

extern "C" std::int32_t ASIOCHAN_CDECL SetCaptureBuffer(void* buffer, std::int32_t byteLength,
                                                        std::uint32_t channel) {
    if (buffer == nullptr || channel >= kMaxChannels || byteLength < 0) return ASE_InvalidParameter;
    const ChannelClaim claim(captureClaims, ChannelMask{1} << channel);
    CaptureChannel& c = engine.captureChannels[channel];
    // A channel that completed and waits for its dump is as good as done: its
    // files are written now, and it is armed again.
    if (captureDumps.pending(channel)) captureDumps.settle(ChannelMask{1} << channel);
    if (c.done.load(std::memory_order_acquire) == 0) return ASE_NotPresent;
    // Frames are counted in input samples; before a run has told the sample width
    // there is no way to count them.
    if (engine.sampleSize[0].load(std::memory_order_relaxed) <= 0) return ASE_InvalidMode;
    const bool withdrawn = takeBackForArming(channel);

    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::memset(bytes, 0, static_cast<std::size_t>(byteLength));
    // Without memory for the shadow copy the capture goes on without one.
    std::uint8_t* copy = allocateBlock(byteLength);
    if (copy != nullptr) std::memset(copy, 0, static_cast<std::size_t>(byteLength));
    arm(channel, bytes, byteLength, copy);
    if (withdrawn) returnChannels(captureWithdrawn, ChannelMask{1} << channel);
    housekeeper.ensureRunning();
    return ASE_OK;
}

extern "C" std::int32_t ASIOCHAN_CDECL CaptureBuff(const CaptureRequest* requests, std::int32_t count) {
    if (requests == nullptr) return ASE_InvalidParameter;
    for (std::int32_t i = 0; i < count; ++i) {
        const CaptureRequest& r = requests[i];
        if (r.channel >= kMaxChannels || r.buffer == nullptr || r.byteLength < 0) return ASE_InvalidParameter;
        if (engine.sampleSize[0].load(std::memory_order_relaxed) <= 0) return ASE_InvalidMode;
        const ChannelClaim claim(captureClaims, ChannelMask{1} << r.channel);
        // Re-targeting a channel: the capture it had ends here, without a dump,
        // and its shadow copy is released; this capture keeps no copy of its own.
        const bool withdrawn = takeBackForArming(r.channel);
        auto* bytes = static_cast<std::uint8_t*>(r.buffer);
        if (r.byteLength > 0) bytes[0] = 0;  // an empty buffer has no first byte
        arm(r.channel, bytes, r.byteLength, nullptr);
        if (withdrawn) returnChannels(captureWithdrawn, ChannelMask{1} << r.channel);
    }
    markCaptureStarted();
    housekeeper.ensureRunning();
    return ASE_OK;
}

extern "C" void ASIOCHAN_CDECL StartCapture() { markCaptureStarted(); }

extern "C" void ASIOCHAN_CDECL StopCapture() {
    // Captures that already completed keep their dumps, written before the stop returns.
    if (engine.captureRunning.load(std::memory_order_acquire) == 0) {
        captureDumps.settle(kAllChannels);
        return;
    }
    engine.captureRunning.store(0, std::memory_order_seq_cst);
    resetCaptureChannels(kAllChannels);
    // A period that was deciding to clear the flag as the stop began may have set
    // it again for a start it saw; nothing is left to capture.
    engine.captureRunning.store(0, std::memory_order_seq_cst);
}

// A capture whose last channel completed reads as running until the dumps of
// its channels are written.
extern "C" std::uint8_t ASIOCHAN_CDECL IsCaptureRunning() {
    housekeeper.serviceFromApplication();
    if (captureDumps.pendingCount() != 0) return 1;
    return engine.captureRunning.load(std::memory_order_acquire);
}

extern "C" std::uint8_t ASIOCHAN_CDECL IsPortCaptureRunning(std::uint32_t channel) {
    if (channel >= kMaxChannels) return 0;
    housekeeper.serviceFromApplication();
    return engine.captureChannels[channel].done.load(std::memory_order_acquire) == 0 ? 1 : 0;
}
