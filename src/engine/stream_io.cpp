// The stream's application side: open, start, read, write, state, stop, close
// (the ending and the stall watch are in stream_watch.cpp, PlayAndRecord in
// stream_play_record.cpp). Conversion happens here, on the caller's thread. Readers and writers hold no lock while they wait: the library's thread
// wakes them every poll, and stops and closes wake them at once.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/channel_blocks.h"
#include "engine/channel_reset.h"
#include "engine/seam.h"
#include "engine/stream_rings.h"

namespace asiochan {

namespace {

constexpr std::uint32_t kConfigBytes = sizeof(AsiochanStreamConfig);
constexpr std::uint32_t kBlockBytes = sizeof(AsiochanStreamBlock);
constexpr std::uint32_t kStateBytes = sizeof(AsiochanStreamState);
// The longest single wait of a reader or writer: a lost wake-up costs no more.
constexpr std::uint32_t kWaitSliceMs = 10;
// How long a close waits for readers, writers and state reads to leave.
constexpr std::uint32_t kUsersWaitMs = 2000;
constexpr double kFallbackRate = 48000.0;

// The one reader (or writer) at a time.
class Exclusive {
public:
    explicit Exclusive(std::atomic<std::uint8_t>& flag) : flag_(flag), mine_(flag.exchange(1) == 0) {}
    ~Exclusive() {
        if (mine_) flag_.store(0, std::memory_order_release);
    }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;
    bool mine() const { return mine_; }

private:
    std::atomic<std::uint8_t>& flag_;
    bool mine_;
};

void freeRings(StreamRings* s) {
    releaseBlock(s->memory);
    delete s;
}

// Waits on `event` for at most one slice, or until the deadline; false once it passed.
bool waitSlice(platform::Event& event, std::atomic<std::uint32_t>& waiters, std::uint64_t deadline,
               const std::atomic<std::uint32_t>& phase, std::uint32_t seenPhase) {
    const std::uint64_t now = platform::monotonicMicros();
    if (now >= deadline) return false;
    waiters.fetch_add(1, std::memory_order_seq_cst);
    event.reset();
    // A change made before the reset shows here; one made after it sets the event.
    if (phase.load(std::memory_order_seq_cst) == seenPhase) {
        const std::uint64_t left = (deadline - now + 999) / 1000;
        event.wait(static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kWaitSliceMs)));
    }
    waiters.fetch_sub(1, std::memory_order_seq_cst);
    return true;
}

// Delivers the consumer's events into `block` (at most its capacity): the queued
// ones, then a stall not yet told, then, once the stream `ended` and nothing is
// left before it, the end. Nothing comes after the end.
void deliverEvents(StreamEvents& events, StreamDirection& d, const StreamRings& s, bool ended,
                   AsiochanStreamBlock* block) {
    if (block == nullptr) return;
    block->eventCount = 0;
    block->eventsLost = events.takeLost();
    if (d.endDelivered) return;
    while (block->eventCount < ASIOCHAN_STREAM_BLOCK_EVENTS && events.pop(block->events[block->eventCount]))
        ++block->eventCount;
    const bool room = block->eventCount < ASIOCHAN_STREAM_BLOCK_EVENTS && events.pending() == 0;
    const std::uint32_t stalls = s.stalls.load(std::memory_order_acquire);
    if (room && stalls != d.stallsTold) {
        block->events[block->eventCount++] = {ASIOCHAN_STREAM_EVENT_STALL, 0,
                                              s.stallPosition.load(std::memory_order_relaxed)};
        d.stallsTold = stalls;
    }
    if (ended && room && block->eventCount < ASIOCHAN_STREAM_BLOCK_EVENTS && stalls == d.stallsTold) {
        block->events[block->eventCount++] = {ASIOCHAN_STREAM_EVENT_END, 0,
                                              s.endPosition.load(std::memory_order_relaxed)};
        d.endDelivered = true;
    }
}

// A stall the consumer has not been told of: a waiting call returns with it.
bool stallUntold(const StreamRings& s, const StreamDirection& d) {
    return s.stalls.load(std::memory_order_acquire) != d.stallsTold;
}

// Whether a period has stayed inside the stream's counts (the version odd) for
// over a millisecond: a suspended driver thread, whose counts are then taken as
// they are rather than waited for.
class StuckPeriod {
public:
    bool operator()(std::uint32_t version) {
        if ((version & 1u) == 0) {
            oddSince_ = 0;
            return false;
        }
        const std::uint64_t now = platform::monotonicMicros();
        if (oddSince_ == 0) oddSince_ = now;
        if (now - oddSince_ >= 1000) return true;
        platform::yieldThread();
        return false;
    }

private:
    std::uint64_t oddSince_ = 0;
};

// Where written frame `first` plays: the period that played it said so, or, not
// yet played, after the frames before it in the ring from where the device is.
// The counts come from one moment between periods; a period that stays inside
// the stream for over a millisecond (a suspended driver thread) gives way to the
// counts as they are.
std::uint64_t playPosition(const StreamRings& s, std::uint64_t first) {
    StuckPeriod stuck;
    for (;;) {
        const std::uint32_t v = s.version.load(std::memory_order_seq_cst);
        const bool giveUp = stuck(v);
        const std::uint64_t position = s.position.load(std::memory_order_acquire);
        const std::uint64_t consumed = s.out.consumed.load(std::memory_order_acquire);
        const std::uint64_t mark = s.out.markPosition.load(std::memory_order_acquire);
        if (((v & 1u) == 0 && s.version.load(std::memory_order_seq_cst) == v) || giveUp)
            return consumed <= first ? position + (first - consumed) : mark;
    }
}

// PlayAndRecord's stream answers its own call only (`callSerial`, 0 for an
// application's call); any other stream answers the application.
bool reachable(const StreamRings& s, std::uint32_t callSerial) {
    return callSerial != 0 ? s.serial == callSerial : s.ownedByCall.load(std::memory_order_acquire) == 0;
}

bool validBlock(const AsiochanStreamBlock* block) { return block == nullptr || block->size >= kBlockBytes; }

void fillBlock(AsiochanStreamBlock* block, std::uint64_t position, std::uint64_t lost) {
    if (block == nullptr) return;
    block->size = kBlockBytes;
    block->position = position;
    block->lost = lost;
    block->reserved = 0;
}

// `n` frames of the ring from its frame `start` to interleaved frames at `frame`.
// Frames of 4-byte samples go a tile at a time: each channel's block converted in
// a loop over contiguous samples, then interleaved while the tile is in cache.
void decodeFrames(const StreamDirection& d, std::uint64_t start, std::uint64_t n, std::uint8_t* frame) {
    const auto count = static_cast<std::size_t>(d.count);
    if (count < 2 || d.frameBytes != 4 * count) {
        for (std::size_t i = 0; i < count; ++i)
            d.decode[i](d.planes[i] + start * d.width, n, frame + d.offsets[i], d.frameBytes);
        return;
    }
    alignas(64) std::uint8_t tile[kStreamTileBytes];
    for (std::uint64_t done = 0; done < n; done += kStreamTileFrames) {
        const auto t = static_cast<std::size_t>(std::min<std::uint64_t>(kStreamTileFrames, n - done));
        for (std::size_t i = 0; i < count; ++i)
            d.decode[i](d.planes[i] + (start + done) * d.width, t, tile + i * t * 4, 4);
        interleaveWords(tile, count, t, frame + done * d.frameBytes);
    }
}

// The reverse: `n` interleaved frames at `frame` to the ring from its frame `start`.
void encodeFrames(const StreamDirection& d, const std::uint8_t* frame, std::uint64_t start, std::uint64_t n) {
    const auto count = static_cast<std::size_t>(d.count);
    if (count < 2 || d.frameBytes != 4 * count) {
        for (std::size_t i = 0; i < count; ++i)
            d.encode[i](frame + d.offsets[i], d.frameBytes, n, d.planes[i] + start * d.width);
        return;
    }
    alignas(64) std::uint8_t tile[kStreamTileBytes];
    for (std::uint64_t done = 0; done < n; done += kStreamTileFrames) {
        const auto t = static_cast<std::size_t>(std::min<std::uint64_t>(kStreamTileFrames, n - done));
        deinterleaveWords(frame + done * d.frameBytes, count, t, tile);
        for (std::size_t i = 0; i < count; ++i)
            d.encode[i](tile + i * t * 4, 4, t, d.planes[i] + (start + done) * d.width);
    }
}

}  // namespace

std::int32_t Engine::openStream(const AsiochanStreamConfig* config) { return openStreamFor(config, nullptr); }

std::int32_t Engine::openStreamFor(const AsiochanStreamConfig* config, PlayAndRecordRun* call) {
    if (config == nullptr || config->size < kConfigBytes) return ASE_InvalidParameter;
    AsiochanStreamConfig c;
    std::memcpy(&c, config, sizeof c);  // the application's memory, read once
    if (c.format < ASIOCHAN_STREAM_NATIVE || c.format > ASIOCHAN_STREAM_FLOAT32) return ASE_InvalidParameter;
    if (c.inputCount < 0 || c.inputCount > kMaxChannels || c.outputCount < 0 || c.outputCount > kMaxChannels)
        return ASE_InvalidParameter;
    if (c.inputCount + c.outputCount == 0 || c.ringFrames < 0 || c.reserved != 0) return ASE_InvalidParameter;
    const auto format = static_cast<FrameFormat>(c.format);

    const ChannelClaim playback(playbackClaims_, kAllChannels);
    const ChannelClaim capture(captureClaims_, kAllChannels);
    if (state_.runPrepared.load(std::memory_order_acquire) == 0) return ASE_InvalidMode;
    freeAbandonedStream();
    // An ended stream stays readable until the next one opens; one not ended, or
    // PlayAndRecord's, is in the way.
    if (StreamRings* open = stream_.app.load(std::memory_order_acquire)) {
        if (open->phase.load(std::memory_order_acquire) != kPhaseEnded ||
            open->ownedByCall.load(std::memory_order_acquire) != 0)
            return ASE_InvalidMode;
        closeStreamClaimed();
    }

    double rate = state_.currentSampleRate.load();
    if (!(rate >= 1.0 && rate <= 1e7)) rate = kFallbackRate;
    const auto maxRing = static_cast<std::int64_t>(rate * ASIOCHAN_STREAM_MAX_RING_MS / 1000.0);
    const std::int64_t period = std::max<std::int32_t>(state_.bufferSizePreferred.load(), 1);
    // A ring below two periods cannot hold a period while the other side works on one.
    if (c.ringFrames > maxRing || (c.ringFrames != 0 && c.ringFrames < 2 * period)) return ASE_InvalidParameter;
    const std::int64_t ringFrames =
        c.ringFrames != 0 ? c.ringFrames
                          : std::max<std::int64_t>(
                                static_cast<std::int64_t>(rate * ASIOCHAN_STREAM_DEFAULT_RING_MS / 1000.0), 4 * period);

    // Each direction's channels: in range, once each, of the direction's width.
    const std::int32_t outputs = state_.outputBufferCount.load();
    const std::int32_t inputs = state_.inputBufferCount.load();
    struct Side {
        std::int32_t count;
        const std::uint8_t* channels;
        std::int32_t driverCount;
        std::int32_t firstEntry;
        std::int32_t width;
    } sides[2] = {{c.inputCount, c.inputs, inputs, outputs, state_.sampleSize[0].load()},
                  {c.outputCount, c.outputs, outputs, 0, state_.sampleSize[1].load()}};
    ASIOSampleType types[2][kMaxChannels]{};
    ChannelMask masks[2] = {0, 0};
    for (int d = 0; d < 2; ++d) {
        const Side& side = sides[d];
        for (std::int32_t i = 0; i < side.count; ++i) {
            const std::uint32_t ch = side.channels[i];
            if (static_cast<std::int32_t>(ch) >= side.driverCount || hasChannel(masks[d], ch))
                return ASE_InvalidParameter;
            masks[d] |= ChannelMask{1} << ch;
            const std::int32_t entry = side.firstEntry + static_cast<std::int32_t>(ch);
            const std::int32_t width = state_.entryWidth[entry].load();
            if (width == 0 || width != side.width) return ASE_InvalidParameter;
            types[d][i] = state_.entryType[entry].load();
            if (format == FrameFormat::Native && types[d][i] != types[d][0]) return ASE_InvalidParameter;
        }
    }
    // Channels the channel API or a player holds (a started player from its start
    // on; an input a stop held is free again once its period is done).
    releaseHeldInputs(masks[0]);
    for (std::uint32_t ch = 0; ch < kMaxChannels; ++ch) {
        if (hasChannel(masks[0], ch) && state_.captureChannels[ch].done.load(std::memory_order_acquire) == 0)
            return ASE_NotPresent;
        if (hasChannel(masks[1], ch) && (state_.playbackChannels[ch].idle.load(std::memory_order_acquire) == 0 ||
                                         playerHolds_[ch].load(std::memory_order_acquire) != 0))
            return ASE_NotPresent;
    }

    // The rings: one block, allocated and touched here.
    const std::uint64_t bytes =
        std::uint64_t(ringFrames) * (std::uint64_t(c.inputCount) * std::uint64_t(sides[0].width) +
                                     std::uint64_t(c.outputCount) * std::uint64_t(sides[1].width));
    if (bytes > std::uint64_t(INT64_MAX) || bytes > std::uint64_t(SIZE_MAX)) return ASE_NoMemory;
    auto* s = new (std::nothrow) StreamRings;
    if (s == nullptr) return ASE_NoMemory;
    s->memory = bytes != 0 ? allocateBlock(static_cast<std::int64_t>(bytes)) : nullptr;
    if (bytes != 0 && s->memory == nullptr) {
        delete s;
        return ASE_NoMemory;
    }
    if (bytes != 0) std::memset(s->memory, 0, static_cast<std::size_t>(bytes));
    platform::lockMemory(s->memory, static_cast<std::size_t>(bytes));
    s->format = format;
    s->ringFrames = static_cast<std::uint32_t>(ringFrames);
    s->serial = ++stream_.serials != 0 ? stream_.serials : ++stream_.serials;
    s->ownedByCall.store(call != nullptr ? 1 : 0, std::memory_order_relaxed);
    // No period for a second, or for eight periods when they are longer, is a stall.
    s->stallLimitMs = static_cast<std::uint32_t>(std::max<double>(1000.0, std::ceil(8000.0 * double(period) / rate)));
    std::uint8_t* next = s->memory;
    for (int d = 0; d < 2; ++d) {
        StreamDirection& dir = d == 0 ? s->in : s->out;
        dir.count = sides[d].count;
        dir.width = static_cast<std::uint32_t>(std::max(sides[d].width, 0));
        for (std::int32_t i = 0; i < dir.count; ++i) {
            dir.channels[i] = sides[d].channels[i];
            dir.offsets[i] = dir.frameBytes;
            dir.frameBytes += streamSampleBytes(format, types[d][i]);
            dir.decode[i] = streamDecoderFor(types[d][i], format);
            dir.encode[i] = streamEncoderFor(types[d][i], format);
            dir.planes[i] = next;
            next += std::uint64_t(ringFrames) * dir.width;
        }
    }
    ASIOCHAN_SEAM("open: before the channels");
    state_.streamInputs.store(masks[0], std::memory_order_seq_cst);
    state_.streamOutputs.store(masks[1], std::memory_order_seq_cst);
    ASIOCHAN_SEAM("open: before the rings");
    if (call != nullptr) {
        call->serial = s->serial;
        call->playBytes = s->out.count > 0 ? s->out.frameBytes : 0;
        call->recordBytes = s->in.count > 0 ? s->in.frameBytes : 0;
    }
    stream_.live.store(s, std::memory_order_release);
    stream_.app.store(s, std::memory_order_seq_cst);
    return ASE_OK;
}

bool Engine::holdOutputs(ChannelMask channels) {
    // Under the playback claims, shared: an open (which holds them all) sees the
    // hold or is seen.
    const ShapeLook look(playbackClaims_.direction);
    if ((channels & state_.streamOutputs.load(std::memory_order_acquire)) != 0) return false;
    for (std::uint32_t ch = 0; ch < kMaxChannels; ++ch)
        if (hasChannel(channels, ch)) playerHolds_[ch].fetch_add(1, std::memory_order_acq_rel);
    return true;
}

void Engine::releaseOutputs(ChannelMask channels) {
    for (std::uint32_t ch = 0; ch < kMaxChannels; ++ch)
        if (hasChannel(channels, ch)) playerHolds_[ch].fetch_sub(1, std::memory_order_acq_rel);
}

std::int32_t Engine::startStream() {
    const ChannelClaim playback(playbackClaims_, kAllChannels);
    const ChannelClaim capture(captureClaims_, kAllChannels);
    StreamRings* s = stream_.app.load(std::memory_order_acquire);
    if (s == nullptr || s->ownedByCall.load(std::memory_order_acquire) != 0) return ASE_InvalidMode;
    return startStreamClaimed(*s);
}

std::int32_t Engine::startStreamClaimed(StreamRings& s) {
    // The stall watch starts with the stream.
    s.watch.store(std::uint64_t{periods_.enteredMark()} << 32 |
                      static_cast<std::uint32_t>(platform::monotonicMicros() / 1000),
                  std::memory_order_release);
    std::uint32_t open = kPhaseOpen;
    ASIOCHAN_SEAM("start: before the phase");
    if (!s.phase.compare_exchange_strong(open, kPhaseRunning, std::memory_order_seq_cst)) return ASE_InvalidMode;
    // After a reset request no period moves audio: the stream ends at its start.
    if (state_.requests.resetPending()) stopStreamClaimed();
    housekeeper_.ensureRunning();
    return ASE_OK;
}

void Engine::stopStreamClaimed() {
    StreamRings* s = stream_.app.load(std::memory_order_acquire);
    if (s == nullptr) return;
    // The periods leave the stream from the next one on; the one in flight ends
    // its step first. A stop whose wait gives up still ends the stream for the
    // application, where the device stands: the rings stay (a close then leaves
    // them to a later open or close).
    beginEnding(*s);
    ASIOCHAN_SEAM("stop: after the phase");
    if (!tryEnd(*s)) {
        if (periods_.waitForPeriodsInFlight()) {
            // Ended here, or by another caller, which finishes within a few stores.
            while (!tryEnd(*s)) platform::yieldThread();
        } else {
            // The period that stays inside may still be writing: nobody else ends it.
            s->finisher.store(1, std::memory_order_seq_cst);
            s->endPosition.store(s->position.load(std::memory_order_acquire), std::memory_order_relaxed);
            s->phase.store(kPhaseEnded, std::memory_order_seq_cst);
        }
    }
    stream_.wake.wakeAll();
}

std::int32_t Engine::stopStream() {
    const ChannelClaim playback(playbackClaims_, kAllChannels);
    const ChannelClaim capture(captureClaims_, kAllChannels);
    if (stream_.app.load(std::memory_order_acquire) == nullptr) return ASE_InvalidMode;
    stopStreamClaimed();
    return ASE_OK;
}

void Engine::freeAbandonedStream() {
    StreamRings* s = stream_.abandoned;
    if (s == nullptr || !periods_.doneSince(stream_.abandonedMark) ||
        stream_.users.load(std::memory_order_seq_cst) != 0)
        return;
    stream_.abandoned = nullptr;
    freeRings(s);
}

void Engine::closeStreamClaimed() {
    freeAbandonedStream();
    StreamRings* s = stream_.app.load(std::memory_order_acquire);
    if (s == nullptr) return;
    stopStreamClaimed();
    s->closing.store(1, std::memory_order_seq_cst);
    stream_.app.store(nullptr, std::memory_order_seq_cst);
    stream_.live.store(nullptr, std::memory_order_seq_cst);
    state_.streamInputs.store(0, std::memory_order_seq_cst);
    state_.streamOutputs.store(0, std::memory_order_seq_cst);
    stream_.wake.wakeAll();
    bool quiet = periods_.waitForPeriodsInFlight();
    const std::uint64_t deadline = platform::monotonicMicros() + std::uint64_t{kUsersWaitMs} * 1000u;
    while (stream_.users.load(std::memory_order_seq_cst) != 0) {
        if (platform::monotonicMicros() >= deadline) {
            quiet = false;
            break;
        }
        stream_.wake.wakeAll();
        platform::sleepMs(1);
    }
    // A period or a call still inside the rings keeps them, never freed under it:
    // a later open or close frees them once it is done (a second such close
    // before then leaks the older rings for good).
    if (!quiet) {
        stream_.abandoned = s;
        stream_.abandonedMark = periods_.enteredMark();
        return;
    }
    freeRings(s);
}

std::int32_t Engine::closeStream() {
    const ChannelClaim playback(playbackClaims_, kAllChannels);
    const ChannelClaim capture(captureClaims_, kAllChannels);
    StreamRings* s = stream_.app.load(std::memory_order_acquire);
    if (s == nullptr || s->ownedByCall.load(std::memory_order_acquire) != 0) return ASE_InvalidMode;
    closeStreamClaimed();
    return ASE_OK;
}

std::int32_t Engine::readStream(void* frames, std::int32_t count, std::int32_t timeoutMs, AsiochanStreamBlock* block) {
    return readFrames(frames, count, timeoutMs, block, 0);
}

std::int32_t Engine::writeStream(const void* frames, std::int32_t count, std::int32_t timeoutMs,
                                 AsiochanStreamBlock* block) {
    return writeFrames(frames, count, timeoutMs, block, 0);
}

std::int32_t Engine::readFrames(void* frames, std::int32_t count, std::int32_t timeoutMs, AsiochanStreamBlock* block,
                                std::uint32_t callSerial) {
    if (count < 0 || (frames == nullptr && count > 0) || timeoutMs < -1 || !validBlock(block))
        return ASE_InvalidParameter;
    const StreamUse use(stream_.users);
    const Exclusive reader(stream_.readerBusy);
    if (!reader.mine()) return ASE_InvalidMode;
    StreamRings* s = stream_.app.load(std::memory_order_seq_cst);
    if (s == nullptr || s->in.count == 0 || !reachable(*s, callSerial)) return ASE_InvalidMode;
    StreamDirection& in = s->in;
    const std::uint64_t deadline = streamDeadline(timeoutMs);
    auto* out = static_cast<std::uint8_t*>(frames);
    std::int32_t moved = 0;
    std::uint64_t lost = 0;
    std::uint64_t first = in.consumerPosition;
    bool ended = false;
    for (;;) {
        watchStream(*s);
        const std::uint32_t phase = s->phase.load(std::memory_order_seq_cst);
        const std::uint64_t consumed = in.consumed.load(std::memory_order_relaxed);
        const std::uint64_t produced = in.produced.load(std::memory_order_acquire);
        std::uint64_t at = 0, gap = 0;
        bool hasGap = in.gaps.peek(at, gap);
        if (hasGap && at <= consumed) {
            if (moved != 0) break;  // a read never spans a gap
            lost += gap;
            in.consumerPosition += gap;
            first = in.consumerPosition;
            in.gaps.pop();
            continue;
        }
        std::uint64_t n = std::min<std::uint64_t>(produced - consumed, std::uint64_t(count - moved));
        if (hasGap) n = std::min(n, at - consumed);
        if (n != 0) {
            const std::uint64_t start = consumed % s->ringFrames;
            const std::uint64_t firstPiece = std::min<std::uint64_t>(n, s->ringFrames - start);
            ASIOCHAN_SEAM("read: before the copy");
            std::uint8_t* frame = out + std::size_t(moved) * in.frameBytes;
            decodeFrames(in, start, firstPiece, frame);
            decodeFrames(in, 0, n - firstPiece, frame + firstPiece * in.frameBytes);
            ASIOCHAN_SEAM("read: before the count");
            in.consumed.store(consumed + n, std::memory_order_release);
            in.consumerPosition += n;
            moved += static_cast<std::int32_t>(n);
            if (moved == count || (hasGap && consumed + n == at)) break;
            continue;
        }
        // Ended, and everything recorded before the end was read (the count was
        // looked at after the phase; a gap at the read position was taken above).
        if ((phase == kPhaseEnded || s->closing.load(std::memory_order_acquire) != 0) && produced == consumed) {
            // A hole the full gap queue kept open is the last gap.
            if (phase == kPhaseEnded && !in.endHoleTaken) {
                if (moved != 0) break;
                in.endHoleTaken = true;
                const std::uint64_t open = in.openFrames.load(std::memory_order_acquire);
                lost += open;
                in.consumerPosition += open;
                first = in.consumerPosition;
            }
            ended = moved == 0;
            break;
        }
        if (moved == count || timeoutMs == 0 || stallUntold(*s, in)) break;
        if (!housekeeper_.running()) housekeeper_.ensureRunning();
        if (!waitSlice(stream_.wake.readable, stream_.wake.readers, deadline, s->phase, phase)) break;
    }
    fillBlock(block, first, lost);
    deliverEvents(s->readerEvents, in, *s, ended, block);
    return ended ? kStreamEnded : moved;
}

std::int32_t Engine::writeFrames(const void* frames, std::int32_t count, std::int32_t timeoutMs,
                                 AsiochanStreamBlock* block, std::uint32_t callSerial) {
    if (count < 0 || (frames == nullptr && count > 0) || timeoutMs < -1 || !validBlock(block))
        return ASE_InvalidParameter;
    const StreamUse use(stream_.users);
    const Exclusive writer(stream_.writerBusy);
    if (!writer.mine()) return ASE_InvalidMode;
    StreamRings* s = stream_.app.load(std::memory_order_seq_cst);
    if (s == nullptr || s->out.count == 0 || !reachable(*s, callSerial)) return ASE_InvalidMode;
    StreamDirection& out = s->out;
    const std::uint64_t deadline = streamDeadline(timeoutMs);
    const auto* in = static_cast<const std::uint8_t*>(frames);
    std::int32_t moved = 0;
    const std::uint64_t first = out.produced.load(std::memory_order_relaxed);
    std::uint64_t position = 0;
    bool told = false, ended = false;
    for (;;) {
        watchStream(*s);
        const std::uint32_t phase = s->phase.load(std::memory_order_seq_cst);
        // A stop under way ends the stream within a period: a write that may wait
        // waits for the end, so that its block can tell it.
        if (phase == kPhaseStopping && timeoutMs != 0 &&
            waitSlice(stream_.wake.writable, stream_.wake.writers, deadline, s->phase, phase))
            continue;
        if (phase == kPhaseEnded || phase == kPhaseStopping || s->closing.load(std::memory_order_acquire) != 0) {
            ended = moved == 0;
            break;
        }
        const std::uint64_t produced = out.produced.load(std::memory_order_relaxed);
        const std::uint64_t room = s->ringFrames - (produced - out.consumed.load(std::memory_order_acquire));
        const std::uint64_t n = std::min<std::uint64_t>(room, std::uint64_t(count - moved));
        if (n != 0) {
            const std::uint64_t start = produced % s->ringFrames;
            const std::uint64_t firstPiece = std::min<std::uint64_t>(n, s->ringFrames - start);
            ASIOCHAN_SEAM("write: before the copy");
            const std::uint8_t* frame = in + std::size_t(moved) * out.frameBytes;
            encodeFrames(out, frame, start, firstPiece);
            encodeFrames(out, frame + firstPiece * out.frameBytes, 0, n - firstPiece);
            // The period that plays the block's first frame tells where it did.
            if (!told) out.markFrame.store(first, std::memory_order_relaxed);
            ASIOCHAN_SEAM("write: before the count");
            out.produced.store(produced + n, std::memory_order_seq_cst);
            if (!told) {
                ASIOCHAN_SEAM("write: before the position");
                position = playPosition(*s, first);
                told = true;
            }
            moved += static_cast<std::int32_t>(n);
            if (moved == count) break;
            continue;
        }
        // Writes before the start fill the ring and never wait.
        if (phase == kPhaseOpen || timeoutMs == 0 || stallUntold(*s, out)) break;
        if (!housekeeper_.running()) housekeeper_.ensureRunning();
        if (!waitSlice(stream_.wake.writable, stream_.wake.writers, deadline, s->phase, phase)) break;
    }
    // The block's position: where its first frame plays (or would, were one
    // written now); `lost` the silence played since the last block's frames.
    if (!told) position = playPosition(*s, first);
    const std::uint64_t lost = position > out.consumerPosition ? position - out.consumerPosition : 0;
    out.consumerPosition = std::max(position, out.consumerPosition) + std::uint64_t(moved);
    fillBlock(block, position, lost);
    deliverEvents(s->writerEvents, out, *s, ended, block);
    return ended ? kStreamEnded : moved;
}

// The stream's state at one moment between periods: the period's counts and the
// ring counts are read while the version stays even and unchanged. A period stuck
// inside the stream for over a millisecond gives way to the counts as they are.
void snapshotStream(const StreamRings& s, AsiochanStreamState& r) {
    StuckPeriod stuck;
    for (;;) {
        const std::uint32_t before = s.version.load(std::memory_order_acquire);
        const bool giveUp = stuck(before);
        // A period stores each count with release after making the version odd: a
        // new count read here brings that version along, and the second look sees
        // the change.
        r.position = s.position.load(std::memory_order_acquire);
        r.recorded = s.recorded.load(std::memory_order_acquire);
        r.dropped = s.dropped.load(std::memory_order_acquire);
        r.played = s.played.load(std::memory_order_acquire);
        r.underrun = s.underrun.load(std::memory_order_acquire);
        ASIOCHAN_SEAM("state: between the counts");
        const std::uint32_t phase = s.phase.load(std::memory_order_acquire);
        r.flags = ASIOCHAN_STREAM_OPEN | (phase == kPhaseRunning ? ASIOCHAN_STREAM_RUNNING : 0u) |
                  (phase == kPhaseEnded ? ASIOCHAN_STREAM_ENDED_FLAG : 0u);
        r.readable = 0;
        if (s.in.count > 0) {
            // What the next read moves: up to the first gap past the gaps it takes first.
            const std::uint64_t consumed = s.in.consumed.load(std::memory_order_acquire);
            const std::uint64_t produced = s.in.produced.load(std::memory_order_acquire);
            const std::uint64_t end = std::min(produced, s.in.gaps.nextAfter(consumed));
            r.readable = static_cast<std::uint32_t>(end > consumed ? end - consumed : 0);
        }
        r.writable = 0;
        if (s.out.count > 0 && phase != kPhaseEnded && phase != kPhaseStopping)
            r.writable = static_cast<std::uint32_t>(s.ringFrames - (s.out.produced.load(std::memory_order_acquire) -
                                                                   s.out.consumed.load(std::memory_order_acquire)));
        r.eventsPending = s.in.count > 0 ? s.readerEvents.pending() : s.writerEvents.pending();
        if (((before & 1u) == 0 && s.version.load(std::memory_order_seq_cst) == before) || giveUp) break;
    }
    r.ringFrames = s.ringFrames;
}

std::int32_t Engine::streamState(AsiochanStreamState* state) {
    if (state == nullptr || state->size < kStateBytes) return ASE_InvalidParameter;
    AsiochanStreamState r{};
    {
        const StreamUse use(stream_.users);
        if (StreamRings* s = stream_.app.load(std::memory_order_seq_cst)) {
            watchStream(*s);
            snapshotStream(*s, r);
        }
    }
    r.size = kStateBytes;
    r.inputLatency = state_.inputLatency.load();
    r.outputLatency = state_.outputLatency.load();
    std::memcpy(state, &r, sizeof r);
    return ASE_OK;
}

}  // namespace asiochan
