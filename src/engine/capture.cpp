// Capture channels: per input channel, one application buffer filled period by
// period until it is full.
#include <cstring>

#include "engine/seam.h"
#include "engine/channel_blocks.h"
#include "engine/channel_reset.h"

namespace asiochan {

// Takes a record back from the period processing (withdrawn, so no period
// works on it) and drops the blocks of an earlier capture. A record that is free
// (`done` 1) with no block needs nothing. The caller arms it and then returns it.
bool Engine::takeBackForArming(std::uint32_t channel) {
    CaptureChannel& c = state_.captureChannels[channel];
    if (c.done.load(std::memory_order_acquire) != 0 && c.copyStart.load(std::memory_order_acquire) == nullptr)
        return false;
    const ChannelMask bit = ChannelMask{1} << channel;
    const bool quiet = withdrawChannels(state_.captureWithdrawn, bit);
    if (quiet) releaseHeldInputs(bit);
    // A completed capture whose dump is still pending keeps its files.
    dumps_.settle(bit);
    c.writePos.store(nullptr, std::memory_order_seq_cst);
    std::uint8_t* copy = c.copyStart.exchange(nullptr, std::memory_order_acq_rel);
    c.copyPos.store(nullptr, std::memory_order_relaxed);
    if (quiet)
        releaseBlock(copy);
    else
        parkCopy(channel, copy);
    // The capture armed next has the record to itself: a hold on the one before ends here.
    state_.heldInputs.fetch_and(~bit, std::memory_order_acq_rel);
    return true;
}

// Stores the record's fields for a capture into `buffer` and hands it to the
// period processing (key field last).
void Engine::arm(std::uint32_t channel, std::uint8_t* buffer, std::int32_t byteLength, std::uint8_t* copy,
                 std::int32_t width) {
    CaptureChannel& c = state_.captureChannels[channel];
    c.framesLeft.store(byteLength / width, std::memory_order_relaxed);
    c.userStart.store(buffer, std::memory_order_relaxed);
    c.byteLength.store(byteLength, std::memory_order_relaxed);
    c.copyStart.store(copy, std::memory_order_relaxed);
    c.copyPos.store(copy, std::memory_order_relaxed);
    c.done.store(0, std::memory_order_seq_cst);
    ASIOCHAN_SEAM("arm: before the key field");
    c.writePos.store(buffer, std::memory_order_seq_cst);
}

void Engine::raiseHeldMark() {
    // Every period that entered before now; a mark only rises, so one that is
    // passed covers everything held before it too.
    const std::uint32_t mark = periods_.enteredMark();
    std::uint32_t was = state_.heldMark.load(std::memory_order_acquire);
    while (static_cast<std::int32_t>(mark - was) > 0 &&
           !state_.heldMark.compare_exchange_weak(was, mark, std::memory_order_seq_cst)) {
    }
}

void Engine::parkCopy(std::uint32_t channel, std::uint8_t* copy) {
    if (copy == nullptr) return;
    raiseHeldMark();
    // A channel that has a copy parked already keeps that one, and this one is
    // leaked: never freed while a period may write it.
    std::uint8_t* none = nullptr;
    state_.parkedCopies[channel].compare_exchange_strong(none, copy, std::memory_order_seq_cst);
}

void Engine::releaseHeldInputs(ChannelMask claimed) {
    if (!periods_.doneSince(state_.heldMark.load(std::memory_order_seq_cst))) return;
    // Under the claims of `claimed`: no other call holds or parks on these channels now.
    const ChannelMask held = state_.heldInputs.load(std::memory_order_seq_cst) & claimed;
    for (std::uint32_t i = 0; i < kMaxChannels; ++i) {
        if (!hasChannel(claimed, i)) continue;
        releaseBlock(state_.parkedCopies[i].exchange(nullptr, std::memory_order_acq_rel));
        if (hasChannel(held, i)) state_.captureChannels[i].done.store(1, std::memory_order_seq_cst);
    }
    if (held != 0) state_.heldInputs.fetch_and(~held, std::memory_order_acq_rel);
}

bool Engine::heldInputReleasable(std::uint32_t channel) const {
    return hasChannel(state_.heldInputs.load(std::memory_order_seq_cst), channel) &&
           periods_.doneSince(state_.heldMark.load(std::memory_order_seq_cst));
}

void Engine::resetCaptureRecords(ChannelMask channels) {
    const bool quiet = withdrawChannels(state_.captureWithdrawn, channels);
    // The inputs the wait could not take back: those a period that it gave up on
    // may still write (armed now), and those an earlier stop held. They stay the
    // library's (armed) until that period is done with memory; the others are free.
    ChannelMask held = 0;
    if (quiet) {
        releaseHeldInputs(channels);
    } else {
        held = state_.heldInputs.load(std::memory_order_seq_cst) & channels;
        for (std::uint32_t i = 0; i < kMaxChannels; ++i)
            if (hasChannel(channels, i) && state_.captureChannels[i].writePos.load(std::memory_order_seq_cst) != nullptr)
                held |= ChannelMask{1} << i;
        raiseHeldMark();
        state_.heldInputs.fetch_or(held, std::memory_order_seq_cst);
    }
    // Completed captures whose dumps are still pending keep their files: they are
    // written here, before the records are reset.
    dumps_.settle(channels);
    for (std::uint32_t i = 0; i < kMaxChannels; ++i) {
        if (!hasChannel(channels, i)) continue;
        CaptureChannel& c = state_.captureChannels[i];
        c.writePos.store(nullptr, std::memory_order_seq_cst);
        c.copyPos.store(nullptr, std::memory_order_relaxed);
        std::uint8_t* copy = c.copyStart.exchange(nullptr, std::memory_order_acq_rel);
        c.framesLeft.store(0, std::memory_order_relaxed);
        if (hasChannel(held, i)) {
            parkCopy(i, copy);  // the period may still write it
        } else {
            releaseBlock(copy);
            c.done.store(1, std::memory_order_seq_cst);  // hands the channel back last
        }
    }
    returnChannels(state_.captureWithdrawn, channels);
}

std::int32_t Engine::setCaptureBuffer(void* buffer, std::int32_t byteLength, std::uint32_t channel) {
    if (buffer == nullptr || channel >= kMaxChannels || byteLength < 0) return ASE_InvalidParameter;
    const ChannelClaim claim(captureClaims_, ChannelMask{1} << channel);
    CaptureChannel& c = state_.captureChannels[channel];
    // A channel that completed and waits for its dump is as good as done: its
    // files are written now, and it is armed again.
    if (dumps_.pending(channel)) dumps_.settle(ChannelMask{1} << channel);
    releaseHeldInputs(ChannelMask{1} << channel);
    if (c.done.load(std::memory_order_acquire) == 0) return ASE_NotPresent;
    if (hasChannel(state_.streamInputs.load(std::memory_order_acquire), channel)) return ASE_NotPresent;
    // Frames are counted in input samples; before a run has told the sample width
    // there is no way to count them. The claim keeps the width as read here.
    const std::int32_t width = state_.sampleSize[0].load(std::memory_order_relaxed);
    if (width <= 0) return ASE_InvalidMode;
    const bool withdrawn = takeBackForArming(channel);

    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::memset(bytes, 0, static_cast<std::size_t>(byteLength));
    // Without memory for the shadow copy the capture goes on without one.
    std::uint8_t* copy = allocateBlock(byteLength);
    if (copy != nullptr) std::memset(copy, 0, static_cast<std::size_t>(byteLength));
    arm(channel, bytes, byteLength, copy, width);
    if (withdrawn) returnChannels(state_.captureWithdrawn, ChannelMask{1} << channel);
    housekeeper_.ensureRunning();
    return ASE_OK;
}

namespace {
bool validRequest(const CaptureRequest& r) {
    return r.channel < kMaxChannels && r.buffer != nullptr && r.byteLength >= 0;
}
}  // namespace

std::int32_t Engine::captureBuff(const CaptureRequest* requests, std::int32_t count) {
    if (requests == nullptr) return ASE_InvalidParameter;
    // The entries up to the first bad one are armed, all under one claim and
    // against one width. Each entry is copied before it is looked at: the array
    // is the application's, and a copy cannot change between check and use.
    std::int32_t good = 0;
    ChannelMask channels = 0;
    for (; good < count; ++good) {
        const CaptureRequest r = requests[good];
        if (!validRequest(r)) break;
        channels |= ChannelMask{1} << r.channel;
    }
    if (good > 0) {
        const ChannelClaim claim(captureClaims_, channels);
        // The stream's inputs are not the channel API's to take over.
        if ((channels & state_.streamInputs.load(std::memory_order_acquire)) != 0) return ASE_NotPresent;
        releaseHeldInputs(channels);
        const std::int32_t width = state_.sampleSize[0].load(std::memory_order_relaxed);
        if (width <= 0) return ASE_InvalidMode;
        for (std::int32_t i = 0; i < good; ++i) {
            const CaptureRequest r = requests[i];
            // An entry changed since the count above is refused like a bad one.
            if (!validRequest(r) || !hasChannel(channels, r.channel)) return ASE_InvalidParameter;
            // Re-targeting a channel: the capture it had ends here, without a dump,
            // and its shadow copy is released; this capture keeps no copy of its own.
            const bool withdrawn = takeBackForArming(r.channel);
            auto* bytes = static_cast<std::uint8_t*>(r.buffer);
            if (r.byteLength > 0) bytes[0] = 0;  // an empty buffer has no first byte
            arm(r.channel, bytes, r.byteLength, nullptr, width);
            if (withdrawn) returnChannels(state_.captureWithdrawn, ChannelMask{1} << r.channel);
        }
    }
    if (good < count) return ASE_InvalidParameter;
    markStarted(kCaptureRunning);
    housekeeper_.ensureRunning();
    return ASE_OK;
}

void Engine::stopCapture() {
    const ChannelClaim claim(captureClaims_, kAllChannels);
    stopCaptureClaimed();
}

void Engine::stopCaptureClaimed() {
    // Captures that already completed keep their dumps, written before the stop
    // returns. Armed captures stay armed while capture is not running.
    if (state_.captureRunning() == 0) {
        dumps_.settle(kAllChannels);
        return;
    }
    constexpr auto kClear = static_cast<std::uint8_t>(~kCaptureRunning);
    state_.running.fetch_and(kClear, std::memory_order_seq_cst);
    resetCaptureRecords(kAllChannels);
    // A period that was deciding to clear the flag as the stop began may have set
    // it again for a start it saw; nothing is left to capture.
    state_.running.fetch_and(kClear, std::memory_order_seq_cst);
}

// A capture whose last channel completed reads as running until the dumps of
// its channels are written.
std::uint8_t Engine::isCaptureRunning() {
    housekeeper_.serviceFromApplication();
    if (dumps_.pendingCount() != 0) return 1;
    return state_.captureRunning();
}

std::uint8_t Engine::isPortCaptureRunning(std::uint32_t channel) {
    if (channel >= kMaxChannels) return 0;
    housekeeper_.serviceFromApplication();
    if (hasChannel(state_.streamInputs.load(std::memory_order_acquire), channel)) return 1;
    if (state_.captureChannels[channel].done.load(std::memory_order_acquire) != 0) return 0;
    // A held input whose period is done reads free; the next call that claims it
    // hands the record back.
    return heldInputReleasable(channel) ? 0 : 1;
}

}  // namespace asiochan
