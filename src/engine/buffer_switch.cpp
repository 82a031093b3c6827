// The per-period processing, run by the driver on its own real-time thread:
// input half-buffers into armed capture channels, busy playback channels into
// output half-buffers, then the channels' bookkeeping. No lock, wait, heap call
// or file work here: completed captures and used-up blocks are handed to the
// library's thread (see housekeeper.h).
#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/channel_blocks.h"
#include "engine/engine.h"
#include "engine/period.h"
#include "engine/seam.h"
#include "platform/platform.h"

namespace asiochan {

namespace {

// Clears `flag` in the run word. Both sides change the word, then load the other
// side's field (all sequentially consistent): either the start sees the clear and
// its own change wins, or the clearing side sees the start and sets the flag again.
void clearUnlessRestarted(std::atomic<std::uint8_t>& running, std::uint8_t flag,
                          const std::atomic<std::uint32_t>& starts, std::uint32_t seen) {
    running.fetch_and(static_cast<std::uint8_t>(~flag), std::memory_order_seq_cst);
    if (starts.load(std::memory_order_seq_cst) != seen) running.fetch_or(flag, std::memory_order_seq_cst);
}

}  // namespace

void Engine::fillOutput(Period& period, AsioLong ch, std::uint8_t* half) {
    const std::size_t bytes = static_cast<std::size_t>(period.playbackBytes);
    PlaybackChannel& p = state_.playbackChannels[ch];
    const bool mine = period.playbackRunning && !hasChannel(period.outWithdrawn, static_cast<std::uint32_t>(ch));
    std::uint8_t* readPos = mine ? p.readPos.load(std::memory_order_acquire) : nullptr;
    if (readPos == nullptr || p.idle.load(std::memory_order_acquire) != 0) {
        std::memset(half, 0, bytes);
        return;
    }
    period.servedOut[ch] = readPos;
    const std::int64_t length = p.length.load(std::memory_order_relaxed);
    const std::int64_t offset = p.readOffset.load(std::memory_order_relaxed);
    if (offset + period.playbackBytes <= length) {
        std::memcpy(half, readPos, bytes);
        return;
    }
    // The playing block ends inside this period: its tail, then the head of the
    // queued block, then silence for whatever neither holds.
    const std::size_t rem =
        static_cast<std::size_t>(std::clamp<std::int64_t>(length - offset, 0, period.playbackBytes));
    std::memcpy(half, readPos, rem);
    std::size_t fromNext = 0;
    std::uint8_t* next = p.next.load(std::memory_order_acquire);
    if (isBlock(next)) {
        const std::int64_t nextLength = std::max<std::int64_t>(p.nextLength.load(std::memory_order_relaxed), 0);
        fromNext = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(bytes - rem), nextLength));
        std::memcpy(half + rem, next, fromNext);
        period.joinedNext[ch] = next;
        period.joinedBytes[ch] = static_cast<std::int64_t>(fromNext);
    }
    std::memset(half + rem + fromNext, 0, bytes - rem - fromNext);
}

void Engine::drainInput(Period& period, AsioLong ch, std::uint8_t* half) {
    if (hasChannel(period.inWithdrawn, static_cast<std::uint32_t>(ch))) return;
    CaptureChannel& c = state_.captureChannels[ch];
    std::uint8_t* writePos = c.writePos.load(std::memory_order_acquire);
    if (writePos == nullptr) return;
    period.servedIn[ch] = writePos;
    const std::int64_t framesLeft = c.framesLeft.load(std::memory_order_relaxed);
    const std::int64_t count = framesLeft >= period.frames
                                   ? period.captureBytes
                                   : std::max<std::int64_t>(framesLeft, 0) * period.inputSampleSize;
    std::memcpy(writePos, half, static_cast<std::size_t>(count));
    if (std::uint8_t* copyPos = c.copyPos.load(std::memory_order_relaxed))
        std::memcpy(copyPos, half, static_cast<std::size_t>(count));
    std::memset(half, 0, static_cast<std::size_t>(period.captureBytes));
}

// The playing block is used up: move on to the queued block, or end.
void Engine::finishBlock(const Period& period, std::uint32_t i, PlaybackChannel& p, std::int64_t offset,
                         std::int64_t length) {
    // Take the queued block, or close the queue when there is none; the
    // compare-exchange decides against a SetPlayBuffer queueing right now.
    std::uint8_t* next = p.next.load(std::memory_order_acquire);
    for (;;) {
        if (isBlock(next)) {
            if (p.next.compare_exchange_weak(next, nullptr, std::memory_order_acq_rel)) break;
        } else if (next == nullptr) {
            if (p.next.compare_exchange_weak(next, queueClosedMarker(), std::memory_order_acq_rel)) break;
        } else {
            break;  // already closed
        }
    }

    if (isBlock(next)) {
        // Promotion. The bytes of `next` already played by the join are skipped; a
        // queued block shorter than that is simply used up. On a channel with a
        // driver buffer those are exactly the bytes the join copied from this block.
        const std::int64_t nextLength = std::max<std::int64_t>(p.nextLength.load(std::memory_order_relaxed), 0);
        const std::int64_t played =
            period.hasOut[i] ? (period.joinedNext[i] == next ? period.joinedBytes[i] : 0) : offset - length;
        const std::int64_t over = std::min(played, nextLength);
        retired_.retire(p.current.load(std::memory_order_relaxed));
        p.current.store(next, std::memory_order_relaxed);
        p.readPos.store(next + over, std::memory_order_relaxed);
        p.length.store(static_cast<std::int32_t>(nextLength - over), std::memory_order_relaxed);
        p.nextLength.store(0, std::memory_order_relaxed);
        p.readOffset.store(0, std::memory_order_relaxed);
        state_.canSendNext[i].store(1, std::memory_order_seq_cst);
        return;
    }

    // End of playing: clear the key field first, reset the record, idle last.
    p.readPos.store(nullptr, std::memory_order_relaxed);
    retired_.retire(p.current.load(std::memory_order_relaxed));
    p.current.store(nullptr, std::memory_order_relaxed);
    p.length.store(0, std::memory_order_relaxed);
    p.nextLength.store(0, std::memory_order_relaxed);
    p.readOffset.store(0, std::memory_order_relaxed);
    state_.canSendNext[i].store(1, std::memory_order_seq_cst);
    p.idle.store(1, std::memory_order_seq_cst);
}

void Engine::advancePlayback(Period& period) {
    const std::uint32_t starts = state_.playbackStarts.load(std::memory_order_seq_cst);
    bool anyBusy = false;
    for (std::uint32_t i = 0; i < kMaxChannels; ++i) {
        if (hasChannel(period.outWithdrawn, i)) continue;
        PlaybackChannel& p = state_.playbackChannels[i];
        std::uint8_t* readPos = p.readPos.load(std::memory_order_acquire);
        if (readPos == nullptr) continue;
        if (period.hasOut[i] && period.servedOut[i] != readPos) {
            anyBusy = true;  // handed over during this period; plays from the next
            continue;
        }
        const std::int64_t offset = p.readOffset.load(std::memory_order_relaxed) + period.playbackBytes;
        const std::int64_t length = p.length.load(std::memory_order_relaxed);
        if (offset < length) {
            p.readPos.store(readPos + period.playbackBytes, std::memory_order_relaxed);
            p.readOffset.store(static_cast<std::int32_t>(offset), std::memory_order_relaxed);
        } else {
            finishBlock(period, i, p, offset, length);
        }
        if (p.idle.load(std::memory_order_acquire) == 0) anyBusy = true;
    }
    if (!anyBusy) clearUnlessRestarted(state_.running, kPlaybackRunning, state_.playbackStarts, starts);
}

void Engine::completeCapture(std::uint32_t i, CaptureChannel& c) {
    // The record is cleared first; the dump writer takes over the shadow copy and
    // sets `done` once both files are closed, which hands the channel back.
    std::uint8_t* copy = c.copyStart.load(std::memory_order_relaxed);
    c.copyStart.store(nullptr, std::memory_order_relaxed);
    c.copyPos.store(nullptr, std::memory_order_relaxed);
    c.writePos.store(nullptr, std::memory_order_relaxed);
    c.framesLeft.store(0, std::memory_order_relaxed);
    dumps_.post(i, c.userStart.load(std::memory_order_relaxed), copy, c.byteLength.load(std::memory_order_relaxed),
                &c.done);
}

void Engine::advanceCapture(Period& period) {
    const std::uint32_t starts = state_.captureStarts.load(std::memory_order_seq_cst);
    bool stillRunning = false;
    for (std::uint32_t i = 0; i < kMaxChannels; ++i) {
        if (hasChannel(period.inWithdrawn, i)) continue;
        CaptureChannel& c = state_.captureChannels[i];
        std::uint8_t* writePos = c.writePos.load(std::memory_order_acquire);
        if (writePos == nullptr) continue;
        if (period.hasIn[i] && period.servedIn[i] != writePos) {
            stillRunning = true;  // armed during this period; captures from the next
            continue;
        }
        const std::int64_t framesLeft = c.framesLeft.load(std::memory_order_relaxed) - period.frames;
        if (framesLeft > 0) {
            c.writePos.store(writePos + period.captureBytes, std::memory_order_relaxed);
            c.framesLeft.store(static_cast<std::int32_t>(framesLeft), std::memory_order_relaxed);
            if (std::uint8_t* copyPos = c.copyPos.load(std::memory_order_relaxed))
                c.copyPos.store(copyPos + period.captureBytes, std::memory_order_relaxed);
            stillRunning = true;
        } else {
            completeCapture(i, c);
        }
    }
    if (!stillRunning) clearUnlessRestarted(state_.running, kCaptureRunning, state_.captureStarts, starts);
}

void Engine::runPeriod(AsioLong doubleBufferIndex, SamplePosition at) {
    PeriodScope scope(periods_);
    // Only between a Prepare that created buffers and the Finish of that run do
    // the tables describe live driver buffers.
    if (state_.runPrepared.load(std::memory_order_acquire) == 0) return;
    if (doubleBufferIndex != 0 && doubleBufferIndex != 1) return;

    Period period;
    period.frames = state_.bufferSizePreferred.load(std::memory_order_relaxed);
    period.inputSampleSize = state_.sampleSize[0].load(std::memory_order_relaxed);
    period.captureBytes = period.frames * period.inputSampleSize;
    period.playbackBytes = period.frames * state_.sampleSize[1].load(std::memory_order_relaxed);
    // A driver with a period this large (or a size that is not positive) cannot be
    // served by 32-bit byte counts: such a period is not run.
    if (period.frames <= 0 || period.captureBytes > INT32_MAX || period.playbackBytes > INT32_MAX ||
        period.captureBytes < 0 || period.playbackBytes < 0)
        return;
    // After a reset request the driver's sizes may have changed under the run: no
    // audio moves until the application prepares a new run. The half-buffers are
    // still those of this run, so silencing them at its sizes is safe. Such a
    // period is not counted, nor are the periods the driver skips meanwhile.
    const bool held = state_.requests.resetPending();
    const std::uint32_t skipped = held ? 0 : state_.requests.notePeriod(at, period.frames);
    // The run flags in one read: a joint start reaches both directions in one period.
    const std::uint8_t running = held ? 0 : state_.running.load(std::memory_order_acquire);
    period.playbackRunning = (running & kPlaybackRunning) != 0;
    period.captureRunning = (running & kCaptureRunning) != 0;
    period.outWithdrawn = state_.playbackWithdrawn.load(std::memory_order_acquire);
    period.inWithdrawn = state_.captureWithdrawn.load(std::memory_order_acquire);
    std::memset(period.servedOut, 0, sizeof period.servedOut);
    std::memset(period.servedIn, 0, sizeof period.servedIn);
    std::memset(period.hasOut, 0, sizeof period.hasOut);
    std::memset(period.hasIn, 0, sizeof period.hasIn);
    std::memset(period.inHalf, 0, sizeof period.inHalf);
    std::memset(period.outHalf, 0, sizeof period.outHalf);
    period.streamIn = state_.streamInputs.load(std::memory_order_acquire);
    period.streamOut = state_.streamOutputs.load(std::memory_order_acquire);
    std::memset(period.joinedNext, 0, sizeof period.joinedNext);
    std::memset(period.joinedBytes, 0, sizeof period.joinedBytes);

    const std::int64_t entries =
        std::clamp<std::int64_t>(std::int64_t{state_.inputBufferCount.load(std::memory_order_relaxed)} +
                                     state_.outputBufferCount.load(std::memory_order_relaxed),
                                 0, kMaxBufferInfos);
    for (std::int64_t k = 0; k < entries; ++k) {
        const ASIOBufferInfo& info = state_.bufferInfoTable[k];
        auto* half = static_cast<std::uint8_t*>(info.buffers[doubleBufferIndex]);
        const AsioLong ch = info.channelNum;
        if (half == nullptr || ch < 0 || ch >= kMaxChannels) continue;
        // A channel of another sample width than the rest of its direction: its
        // half-buffer does not hold a period of the direction's width.
        const std::int32_t width = state_.entryWidth[k].load(std::memory_order_relaxed);
        if (width != 0 && width != state_.sampleSize[info.isInput != ASIOFalse ? 0 : 1].load(std::memory_order_relaxed))
            continue;
        if (info.isInput != ASIOFalse) {
            period.hasIn[ch] = true;
            period.inHalf[ch] = half;
            if (period.captureRunning && !hasChannel(period.streamIn, static_cast<std::uint32_t>(ch)))
                drainInput(period, ch, half);
        } else if (hasChannel(period.streamOut, static_cast<std::uint32_t>(ch))) {
            period.outHalf[ch] = half;
        } else {
            period.hasOut[ch] = true;
            fillOutput(period, ch, half);
        }
    }

    streamPeriod(period, held, skipped);
    // Where an application call lands in the middle of a period (host-build tests).
    ASIOCHAN_SEAM("period: after the copies");
    if (period.playbackRunning) advancePlayback(period);
    if (period.captureRunning) advanceCapture(period);
    // Everything this period does to memory is done: the application's buffers,
    // the records and the driver's halves. Only then the driver is told, since it
    // may hold the period inside the call; a stop waits for this mark, not for the
    // driver to return.
    scope.doneWithMemory();
    if (state_.outputReadySupported.load(std::memory_order_relaxed) != 0) calls_.ASIOOutputReady();
}

}  // namespace asiochan
