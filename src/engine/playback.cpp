#include "engine/playback.h"

#include <cstring>

#include "driver/asio_types.h"
#include "engine/channel_blocks.h"
#include "engine/channel_reset.h"
#include "engine/engine_state.h"
#include "engine/housekeeper.h"
#include "engine/period_guard.h"
#include "engine/run_flags.h"
#include "platform/platform.h"

using namespace asiochan;

namespace {

constexpr std::uint32_t kQueueCloseWaitMs = 2000;

// A copy of the caller's bytes in a block of the engine's own.
std::uint8_t* copyIntoBlock(const void* data, std::int32_t byteLength) {
    std::uint8_t* block = allocateBlock(byteLength);
    if (block != nullptr && byteLength > 0) std::memcpy(block, data, static_cast<std::size_t>(byteLength));
    return block;
}

// An idle channel belongs to the application: make `block` its playing block.
void startPlaying(PlaybackChannel& p, std::uint8_t* block, std::int32_t byteLength) {
    // A block left behind while the channel was idle is no longer anyone's.
    releaseBlock(p.next.exchange(nullptr, std::memory_order_acq_rel));
    p.nextLength.store(0, std::memory_order_relaxed);
    p.length.store(byteLength, std::memory_order_relaxed);
    p.staged.store(block, std::memory_order_relaxed);
    p.current.store(block, std::memory_order_relaxed);
    p.readOffset.store(0, std::memory_order_relaxed);
    p.idle.store(0, std::memory_order_seq_cst);
    p.readPos.store(block, std::memory_order_seq_cst);  // key field last: the callback takes over
}

// Puts `block` behind the playing one. The queue is published with a
// compare-exchange so that a period ending the channel at this very moment
// (which closes the queue) and this call agree on who has the block.
std::int32_t queueBehind(std::uint32_t channel, std::uint8_t* block, std::int32_t byteLength) {
    PlaybackChannel& p = engine.playbackChannels[channel];
    // canSendNext is cleared before the block is published, so the callback's
    // "1 again" after taking the block over is always the later store.
    engine.canSendNext[channel].store(0, std::memory_order_seq_cst);
    p.nextLength.store(byteLength, std::memory_order_relaxed);
    std::uint8_t* expected = nullptr;
    if (p.next.compare_exchange_strong(expected, block, std::memory_order_acq_rel)) return ASE_OK;

    if (expected == queueClosedMarker()) {
        // The playing block ran out in the period that is ending now, with nothing
        // queued: the channel is falling idle. Once it is idle it is ours again,
        // and this block becomes its first one.
        const std::uint64_t deadline = platform::monotonicMicros() + kQueueCloseWaitMs * 1000ull;
        while (p.idle.load(std::memory_order_acquire) == 0) {
            if (platform::monotonicMicros() >= deadline) break;
            platform::yieldThread();
        }
        if (p.idle.load(std::memory_order_acquire) != 0) {
            startPlaying(p, block, byteLength);
            engine.canSendNext[channel].store(1, std::memory_order_release);
            return ASE_OK;
        }
        releaseBlock(block);
        engine.canSendNext[channel].store(1, std::memory_order_release);
        return ASE_InvalidMode;
    }
    // Another thread queued on this channel at the same time (calls for one
    // channel must not overlap): keep its block, refuse ours.
    releaseBlock(block);
    engine.canSendNext[channel].store(0, std::memory_order_release);
    return ASE_InvalidMode;
}

}  // namespace

namespace asiochan {

void resetPlaybackChannels(ChannelMask channels) {
    const ChannelClaim claim(playbackClaims, channels);
    const bool quiet = withdrawChannels(playbackWithdrawn, channels);
    for (std::uint32_t i = 0; i < kMaxChannels; ++i) {
        if (!hasChannel(channels, i)) continue;
        PlaybackChannel& p = engine.playbackChannels[i];
        p.readPos.store(nullptr, std::memory_order_seq_cst);
        std::uint8_t* next = p.next.exchange(nullptr, std::memory_order_acq_rel);
        std::uint8_t* current = p.current.exchange(nullptr, std::memory_order_acq_rel);
        if (quiet) {
            releaseBlock(next);
            releaseBlock(current);
        }
        p.staged.store(nullptr, std::memory_order_relaxed);
        p.length.store(0, std::memory_order_relaxed);
        p.nextLength.store(0, std::memory_order_relaxed);
        p.readOffset.store(0, std::memory_order_relaxed);
        engine.canSendNext[i].store(1, std::memory_order_release);
        p.idle.store(1, std::memory_order_seq_cst);
    }
    returnChannels(playbackWithdrawn, channels);
}

void ReleasePlaybackChannel(std::uint32_t channel) {
    if (channel >= kMaxChannels) return;
    engine.canSendNext[channel].store(1, std::memory_order_release);
    if (engine.playbackRunning.load(std::memory_order_acquire) == 0) return;
    resetPlaybackChannels(ChannelMask{1} << channel);
}

}  // namespace asiochan

extern "C" std::int32_t ASIOCHAN_CDECL SetPlayBuffer(const void* data, std::int32_t byteLength,
                                                     std::uint32_t channel) {
    if (data == nullptr || channel >= kMaxChannels) return ASE_InvalidParameter;
    housekeeper.serviceFromApplication();
    const ChannelClaim claim(playbackClaims, ChannelMask{1} << channel);
    PlaybackChannel& p = engine.playbackChannels[channel];

    if (p.idle.load(std::memory_order_acquire) != 0) {
        std::uint8_t* block = copyIntoBlock(data, byteLength);
        if (block == nullptr) return ASE_NoMemory;
        startPlaying(p, block, byteLength);
        return ASE_OK;
    }

    if (engine.canSendNext[channel].load(std::memory_order_acquire) != 1) return ASE_InvalidMode;
    // A block still queued with the flag at 1 (the flag was set by a stop made
    // while playback was not running) is replaced; a period joining into it may be
    // reading it, so it is released only after the periods in flight.
    std::uint8_t* stale = p.next.load(std::memory_order_acquire);
    if (isBlock(stale) && p.next.compare_exchange_strong(stale, nullptr, std::memory_order_acq_rel)) {
        p.nextLength.store(0, std::memory_order_relaxed);
        if (waitForPeriodsInFlight()) releaseBlock(stale);
    }
    std::uint8_t* block = copyIntoBlock(data, byteLength);
    if (block == nullptr) return ASE_NoMemory;
    return queueBehind(channel, block, byteLength);
}

extern "C" std::int32_t ASIOCHAN_CDECL PlayBuff() { return 0; }

extern "C" void ASIOCHAN_CDECL StartPlayback() { markPlaybackStarted(); }

extern "C" void ASIOCHAN_CDECL StopPlayback() {
    for (int i = 0; i < kMaxChannels; ++i) engine.canSendNext[i].store(1, std::memory_order_release);
    if (engine.playbackRunning.load(std::memory_order_acquire) == 0) return;
    engine.playbackRunning.store(0, std::memory_order_seq_cst);
    resetPlaybackChannels(kAllChannels);
    // A period that was deciding to clear the flag as the stop began may have set
    // it again for a start it saw; nothing is left to play.
    engine.playbackRunning.store(0, std::memory_order_seq_cst);
}

extern "C" std::uint8_t ASIOCHAN_CDECL IsCanSendNextPlaybackBuffer(std::uint32_t channel) {
    if (channel >= kMaxChannels) return 0;
    return engine.canSendNext[channel].load(std::memory_order_acquire);
}

extern "C" std::uint8_t ASIOCHAN_CDECL IsPortPlaybackRunning(std::uint32_t channel) {
    if (channel >= kMaxChannels) return 0;
    return engine.playbackChannels[channel].idle.load(std::memory_order_acquire) == 0 ? 1 : 0;
}
