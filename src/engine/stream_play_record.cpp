// PlayAndRecord: a stream opened, prefilled, started, read to the end and closed
// in one call, on a stream that is the call's own.
#include <algorithm>
#include <cstring>

#include "engine/channel_reset.h"
#include "engine/seam.h"
#include "engine/stream_rings.h"

namespace asiochan {

namespace {
constexpr std::uint32_t kStateBytes = sizeof(AsiochanStreamState);
}  // namespace

// The call's own stream: other callers may stop it (which ends the call early),
// not use it or close it; it is closed here unless a lifecycle call closed it
// first. The call takes claims (the start, the close) only while it is no user of
// the stream, since a lifecycle call holds every claim while it waits for users.
std::int32_t Engine::playAndRecord(const AsiochanStreamConfig* config, const void* play, std::int32_t playFrames,
                                   void* record, std::int32_t recordFrames, std::int32_t timeoutMs,
                                   AsiochanStreamState* state) {
    if (playFrames < 0 || recordFrames < 0 || (play == nullptr && playFrames > 0) ||
        (record == nullptr && recordFrames > 0) || timeoutMs < -1 || (state != nullptr && state->size < kStateBytes))
        return ASE_InvalidParameter;
    PlayAndRecordRun run{play, playFrames, record, recordFrames};
    if (const std::int32_t opened = openStreamFor(config, &run); opened != ASE_OK) return opened;
    const std::uint32_t serial = run.serial;
    const std::uint64_t deadline = streamDeadline(timeoutMs);
    run.writeSome(*this, 0);  // the prefill
    std::int32_t result = ASE_InvalidMode;
    {
        const ChannelClaim playback(playbackClaims_, kAllChannels);
        const ChannelClaim capture(captureClaims_, kAllChannels);
        StreamRings* s = stream_.app.load(std::memory_order_acquire);
        if (s != nullptr && s->serial == serial) result = startStreamClaimed(*s);
    }
    AsiochanStreamState last{};
    if (result == ASE_OK) {
        // Held while the call looks at the rings: a close from a lifecycle call
        // (Prepare, the driver's release) ends the stream and waits for it.
        const StreamUse use(stream_.users);
        StreamRings* s = stream_.app.load(std::memory_order_acquire);
        if (s != nullptr && s->serial == serial) {
            run.play(*this, *s, deadline);
            snapshotStream(*s, last);
        }
    }
    if (run.stalled) {
        // A stall ends the take as a stop would: the state then shows it ended.
        const ChannelClaim playback(playbackClaims_, kAllChannels);
        const ChannelClaim capture(captureClaims_, kAllChannels);
        StreamRings* s = stream_.app.load(std::memory_order_acquire);
        if (s != nullptr && s->serial == serial) {
            stopStreamClaimed();
            snapshotStream(*s, last);
        }
    }
    ASIOCHAN_SEAM("play and record: before the close");
    closeStreamOf(serial);
    if (state != nullptr) {
        last.size = kStateBytes;
        last.inputLatency = state_.inputLatency.load();
        last.outputLatency = state_.outputLatency.load();
        std::memcpy(state, &last, sizeof last);
    }
    return result == ASE_OK ? run.read : result;
}

void Engine::PlayAndRecordRun::writeSome(Engine& engine, std::int32_t timeoutMs) {
    if (written >= playFrames || playBytes == 0) return;
    const std::int32_t n = engine.writeFrames(static_cast<const std::uint8_t*>(playData) + std::size_t(written) * playBytes,
                                              playFrames - written, timeoutMs, nullptr, serial);
    if (n > 0) written += n;
}

void Engine::PlayAndRecordRun::play(Engine& engine, StreamRings& s, std::uint64_t deadline) {
    auto* recording = static_cast<std::uint8_t*>(recordData);
    auto stall = [&s] { return s.stalls.load(std::memory_order_acquire) != 0; };
    // Without inputs the call lasts until everything written has played.
    while (s.in.count == 0 && s.out.count > 0 && platform::monotonicMicros() < deadline &&
           s.out.consumed.load(std::memory_order_acquire) < std::uint64_t(playFrames) &&
           s.phase.load(std::memory_order_acquire) == kPhaseRunning &&
           s.closing.load(std::memory_order_acquire) == 0 && !stall()) {
        if (written < playFrames) {
            writeSome(engine, 5);
        } else {
            engine.watchStream(s);  // nobody else may be looking for a stall
            platform::sleepMs(1);
        }
    }
    while (s.in.count > 0 && read < recordFrames && !stall()) {
        const std::uint64_t now = platform::monotonicMicros();
        if (now >= deadline) break;
        const auto slice = static_cast<std::int32_t>(std::min<std::uint64_t>((deadline - now) / 1000, 5));
        const std::int32_t n = engine.readFrames(recording + std::size_t(read) * recordBytes, recordFrames - read,
                                                 slice, nullptr, serial);
        if (n < 0) break;
        // The reader's position is this thread's own: the frames just read end there.
        place(s.in.consumerPosition - std::uint64_t(n), n);
        writeSome(engine, 0);
    }
    stalled = stall();
}

// The frames just read into `record` at `read` belong at stream `position`: after
// a gap (frames dropped on a full ring, periods skipped) they move there and the
// gap's frames stay silent, so that recording frame k is stream frame k.
void Engine::PlayAndRecordRun::place(std::uint64_t position, std::int32_t frames) {
    if (position <= std::uint64_t(read)) {
        read += frames;
        return;
    }
    auto* recording = static_cast<std::uint8_t*>(recordData);
    const std::uint64_t gapEnd = std::min<std::uint64_t>(position, std::uint64_t(recordFrames));
    const auto kept = static_cast<std::int32_t>(std::min<std::uint64_t>(std::uint64_t(frames), recordFrames - gapEnd));
    std::memmove(recording + gapEnd * recordBytes, recording + std::size_t(read) * recordBytes,
                 std::size_t(kept) * recordBytes);
    std::memset(recording + std::size_t(read) * recordBytes, 0, std::size_t(gapEnd - std::uint64_t(read)) * recordBytes);
    read = static_cast<std::int32_t>(gapEnd) + kept;
}

void Engine::closeStreamOf(std::uint32_t serial) {
    const ChannelClaim playback(playbackClaims_, kAllChannels);
    const ChannelClaim capture(captureClaims_, kAllChannels);
    StreamRings* s = stream_.app.load(std::memory_order_acquire);
    if (s == nullptr || s->serial != serial) return;
    closeStreamClaimed();
}

}  // namespace asiochan
