// Playback channels: two-deep queues of engine-owned blocks per output channel.
#include <cstring>

#include "engine/seam.h"
#include "engine/channel_blocks.h"
#include "engine/channel_reset.h"

namespace asiochan {

namespace {

// A copy of the caller's bytes in a block of the engine's own.
std::uint8_t* copyIntoBlock(const void* data, std::int32_t byteLength) {
    std::uint8_t* block = allocateBlock(byteLength);
    if (block != nullptr && byteLength > 0) std::memcpy(block, data, static_cast<std::size_t>(byteLength));
    return block;
}

}  // namespace

// An idle channel belongs to the application: make `block` its playing block.
void Engine::startPlaying(PlaybackChannel& p, std::uint8_t* block, std::int32_t byteLength) {
    // A block left behind while the channel was idle is no longer anyone's.
    releaseBlock(p.next.exchange(nullptr, std::memory_order_acq_rel));
    p.nextLength.store(0, std::memory_order_relaxed);
    p.length.store(byteLength, std::memory_order_relaxed);
    p.current.store(block, std::memory_order_relaxed);
    p.readOffset.store(0, std::memory_order_relaxed);
    p.idle.store(0, std::memory_order_seq_cst);
    ASIOCHAN_SEAM("play: before the key field");
    p.readPos.store(block, std::memory_order_seq_cst);  // key field last: the callback takes over
}

// Puts `block` behind the playing one. The queue is published with a
// compare-exchange so that a period ending the channel at this very moment
// (which closes the queue) and this call agree on who has the block.
std::int32_t Engine::queueBehind(std::uint32_t channel, std::uint8_t* block, std::int32_t byteLength) {
    PlaybackChannel& p = state_.playbackChannels[channel];
    // canSendNext is cleared before the block is published, so the callback's
    // "1 again" after taking the block over is always the later store.
    state_.canSendNext[channel].store(0, std::memory_order_seq_cst);
    p.nextLength.store(byteLength, std::memory_order_relaxed);
    ASIOCHAN_SEAM("queue: before the block");
    std::uint8_t* expected = nullptr;
    if (p.next.compare_exchange_strong(expected, block, std::memory_order_acq_rel)) return ASE_OK;

    if (expected == queueClosedMarker()) {
        // The playing block ran out in the period that is ending now, with nothing
        // queued: the channel is falling idle. That period sets `idle` before it
        // leaves, so once the periods in flight are over the channel is ours again,
        // and this block becomes its first one.
        periods_.waitForPeriodsInFlight();
        if (p.idle.load(std::memory_order_acquire) != 0) {
            startPlaying(p, block, byteLength);
            state_.canSendNext[channel].store(1, std::memory_order_release);
            return ASE_OK;
        }
        releaseBlock(block);
        state_.canSendNext[channel].store(1, std::memory_order_release);
        return ASE_InvalidMode;
    }
    // Another thread queued on this channel at the same time (calls for one
    // channel must not overlap): keep its block, refuse ours.
    releaseBlock(block);
    state_.canSendNext[channel].store(0, std::memory_order_release);
    return ASE_InvalidMode;
}

void Engine::resetPlaybackRecords(ChannelMask channels) {
    const bool quiet = withdrawChannels(state_.playbackWithdrawn, channels);
    for (std::uint32_t i = 0; i < kMaxChannels; ++i) {
        if (!hasChannel(channels, i)) continue;
        PlaybackChannel& p = state_.playbackChannels[i];
        p.readPos.store(nullptr, std::memory_order_seq_cst);
        std::uint8_t* next = p.next.exchange(nullptr, std::memory_order_acq_rel);
        std::uint8_t* current = p.current.exchange(nullptr, std::memory_order_acq_rel);
        if (quiet) {
            releaseBlock(next);
            releaseBlock(current);
        }
        p.length.store(0, std::memory_order_relaxed);
        p.nextLength.store(0, std::memory_order_relaxed);
        p.readOffset.store(0, std::memory_order_relaxed);
        state_.canSendNext[i].store(1, std::memory_order_release);
        p.idle.store(1, std::memory_order_seq_cst);
    }
    returnChannels(state_.playbackWithdrawn, channels);
}

void Engine::releasePlaybackChannel(std::uint32_t channel) {
    if (channel >= kMaxChannels) return;
    state_.canSendNext[channel].store(1, std::memory_order_release);
    if (state_.playbackRunning() == 0) return;
    const ChannelClaim claim(playbackClaims_, ChannelMask{1} << channel);
    resetPlaybackRecords(ChannelMask{1} << channel);
}

std::int32_t Engine::setPlayBuffer(const void* data, std::int32_t byteLength, std::uint32_t channel) {
    if (data == nullptr || channel >= kMaxChannels) return ASE_InvalidParameter;
    housekeeper_.serviceFromApplication();
    const ChannelClaim claim(playbackClaims_, ChannelMask{1} << channel);
    return queuePlayBuffer(data, byteLength, channel);
}

std::int32_t Engine::setPlayBufferOfShape(const void* data, std::int32_t byteLength, std::uint32_t channel,
                                          std::uint32_t shape) {
    if (data == nullptr || channel >= kMaxChannels) return ASE_InvalidParameter;
    housekeeper_.serviceFromApplication();
    const ChannelClaim claim(playbackClaims_, ChannelMask{1} << channel);
    // Samples laid out for another run's sample types are never queued into this one.
    if (shape_.load(std::memory_order_acquire) != shape) return ASE_InvalidMode;
    return queuePlayBuffer(data, byteLength, channel);
}

std::int32_t Engine::queuePlayBuffer(const void* data, std::int32_t byteLength, std::uint32_t channel) {
    PlaybackChannel& p = state_.playbackChannels[channel];
    // The stream's outputs are the stream's until it is closed.
    if (hasChannel(state_.streamOutputs.load(std::memory_order_acquire), channel)) return ASE_NotPresent;

    if (p.idle.load(std::memory_order_acquire) != 0) {
        std::uint8_t* block = copyIntoBlock(data, byteLength);
        if (block == nullptr) return ASE_NoMemory;
        startPlaying(p, block, byteLength);
        return ASE_OK;
    }

    if (state_.canSendNext[channel].load(std::memory_order_acquire) != 1) return ASE_InvalidMode;
    // A block still queued with the flag at 1 (the flag was set by a stop made
    // while playback was not running) is replaced; a period joining into it may be
    // reading it, so it is released only after the periods in flight.
    std::uint8_t* stale = p.next.load(std::memory_order_acquire);
    if (isBlock(stale) && p.next.compare_exchange_strong(stale, nullptr, std::memory_order_acq_rel)) {
        p.nextLength.store(0, std::memory_order_relaxed);
        if (periods_.waitForPeriodsInFlight()) releaseBlock(stale);
    }
    std::uint8_t* block = copyIntoBlock(data, byteLength);
    if (block == nullptr) return ASE_NoMemory;
    return queueBehind(channel, block, byteLength);
}

void Engine::stopPlayback() {
    const ChannelClaim claim(playbackClaims_, kAllChannels);
    stopPlaybackClaimed();
}

void Engine::stopPlaybackClaimed() {
    for (int i = 0; i < kMaxChannels; ++i) state_.canSendNext[i].store(1, std::memory_order_release);
    if (state_.playbackRunning() == 0) return;
    state_.running.fetch_and(static_cast<std::uint8_t>(~kPlaybackRunning), std::memory_order_seq_cst);
    resetPlaybackRecords(kAllChannels);
    // A period that was deciding to clear the flag as the stop began may have set
    // it again for a start it saw; nothing is left to play.
    state_.running.fetch_and(static_cast<std::uint8_t>(~kPlaybackRunning), std::memory_order_seq_cst);
}

std::uint8_t Engine::canSendNext(std::uint32_t channel) {
    if (channel >= kMaxChannels) return 0;
    return state_.canSendNext[channel].load(std::memory_order_acquire);
}

std::uint8_t Engine::isPortPlaybackRunning(std::uint32_t channel) const {
    if (channel >= kMaxChannels) return 0;
    if (hasChannel(state_.streamOutputs.load(std::memory_order_acquire), channel)) return 1;
    return state_.playbackChannels[channel].idle.load(std::memory_order_acquire) == 0 ? 1 : 0;
}

}  // namespace asiochan
