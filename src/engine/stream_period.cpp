// The stream's step in each period, on the driver's thread: the inputs' halves
// into the input ring, the output ring into the outputs' halves, the holes where
// a ring was full or empty or the driver skipped periods, the driver's notices
// as events, and the counts. Plain copies and atomic stores only.
#include <algorithm>
#include <cstring>

#include "engine/period.h"
#include "engine/seam.h"
#include "engine/stream_rings.h"

namespace asiochan {

namespace {

// Where `frames` frames from ring frame `at` lie in a ring of `ringFrames`: from
// `start`, `first` of them before the ring's end and the rest from its beginning.
struct RingSpan {
    std::uint64_t start, first, frames;
    RingSpan(std::uint64_t at, std::uint32_t ringFrames, std::uint64_t n)
        : start(at % ringFrames), first(std::min<std::uint64_t>(n, ringFrames - start)), frames(n) {}
};

// Copies a span of one channel's samples of `width` bytes between a ring plane
// and a half-buffer, in one or two pieces (a missing input half gives zeros).
void toRing(std::uint8_t* plane, const RingSpan& span, std::uint32_t width, const std::uint8_t* half) {
    if (half == nullptr) {
        std::memset(plane + span.start * width, 0, span.first * width);
        std::memset(plane, 0, (span.frames - span.first) * width);
        return;
    }
    std::memcpy(plane + span.start * width, half, span.first * width);
    std::memcpy(plane, half + span.first * width, (span.frames - span.first) * width);
}

void fromRing(const std::uint8_t* plane, const RingSpan& span, std::uint32_t width, std::uint8_t* half) {
    std::memcpy(half, plane + span.start * width, span.first * width);
    std::memcpy(half + span.first * width, plane, (span.frames - span.first) * width);
}

// Ends the hole a direction was making: its gap (inputs: before the reader's
// frame `at`) and its event. False when the gap queue is full: the hole stays
// open, and the frames after it wait (are dropped into it) until there is room.
bool closeHole(StreamRings& s, StreamDirection& d, std::uint32_t code) {
    const std::uint64_t frames = d.openFrames.load(std::memory_order_relaxed);
    if (frames == 0) return true;
    if (&d == &s.in && !d.gaps.push(d.openAt.load(std::memory_order_relaxed), frames)) return false;
    s.event(code, frames, d.openPosition.load(std::memory_order_relaxed));
    d.openFrames.store(0, std::memory_order_relaxed);
    return true;
}

void widenHole(StreamDirection& d, std::uint64_t at, std::uint64_t position, std::uint64_t frames) {
    const std::uint64_t open = d.openFrames.load(std::memory_order_relaxed);
    if (open == 0) {
        d.openAt.store(at, std::memory_order_relaxed);
        d.openPosition.store(position, std::memory_order_relaxed);
    }
    d.openFrames.store(open + frames, std::memory_order_relaxed);
}

// Periods the driver skipped: a hole in both directions where they were (the
// writer learns of its own from the position).
void skip(StreamRings& s, std::uint64_t position, std::uint64_t frames) {
    if (StreamDirection& in = s.in; in.count > 0) {
        const std::uint64_t at = in.produced.load(std::memory_order_relaxed);
        if (!closeHole(s, in, ASIOCHAN_STREAM_EVENT_OVERFLOW) || !in.gaps.push(at, frames))
            widenHole(in, at, position, frames);
    }
    if (s.out.count > 0) closeHole(s, s.out, ASIOCHAN_STREAM_EVENT_UNDERRUN);
    s.event(ASIOCHAN_REQUEST_SKIPPED_PERIODS, frames, position);
}

// The version goes odd before the period reads the writer's count: a writer that
// stores its count and then finds the version even knows every later period sees it.
void beginCounts(StreamRings& s) { s.version.fetch_add(1, std::memory_order_seq_cst); }
void endCounts(StreamRings& s) { s.version.fetch_add(1, std::memory_order_release); }

}  // namespace

// A hole the full gap queue kept open stays open at the end: the reader takes it
// as its last gap.
void endStreamAt(StreamRings& s, std::uint64_t position) {
    if (s.in.count > 0) closeHole(s, s.in, ASIOCHAN_STREAM_EVENT_OVERFLOW);
    if (s.out.count > 0) closeHole(s, s.out, ASIOCHAN_STREAM_EVENT_UNDERRUN);
    s.endPosition.store(position, std::memory_order_relaxed);
    s.phase.store(kPhaseEnded, std::memory_order_seq_cst);
}

void Engine::streamPeriod(const Period& period, bool held, std::uint32_t skipped) {
    StreamRings* s = stream_.live.load(std::memory_order_acquire);
    const bool running = s != nullptr && s->phase.load(std::memory_order_acquire) == kPhaseRunning;
    if (!running) {
        // An open stream not yet started, or one that ended, plays silence.
        for (std::uint32_t ch = 0; ch < kMaxChannels; ++ch)
            if (period.outHalf[ch] != nullptr)
                std::memset(period.outHalf[ch], 0, static_cast<std::size_t>(period.playbackBytes));
        return;
    }
    const auto frames = static_cast<std::uint64_t>(period.frames);
    std::uint64_t position = s->position.load(std::memory_order_relaxed);
    beginCounts(*s);
    if (skipped != 0) {
        skip(*s, position, frames * skipped);
        position += frames * skipped;
    }
    if (const std::uint32_t notices = state_.requests.takeStreamNotices(); notices != 0)
        for (std::uint32_t bit = kRequestReset; bit <= kRequestSampleRate; bit <<= 1)
            if ((notices & bit) != 0) s->event(bit, 0, position);
    if (held) {
        // A reset request ends the stream where it stands: nothing more moves.
        // A caller that saw the request first may be ending it already.
        for (std::uint32_t ch = 0; ch < kMaxChannels; ++ch)
            if (period.outHalf[ch] != nullptr)
                std::memset(period.outHalf[ch], 0, static_cast<std::size_t>(period.playbackBytes));
        s->position.store(position, std::memory_order_release);
        endCounts(*s);
        std::uint8_t none = 0;
        if (s->finisher.compare_exchange_strong(none, 1, std::memory_order_seq_cst)) endStreamAt(*s, position);
        return;
    }

    if (StreamDirection& in = s->in; in.count > 0) {
        const std::uint64_t produced = in.produced.load(std::memory_order_relaxed);
        const std::uint64_t room = s->ringFrames - (produced - in.consumed.load(std::memory_order_acquire));
        std::uint64_t n = std::min(room, frames);
        // A hole is recorded before the frames after it, or the frames wait.
        if (n != 0 && !closeHole(*s, in, ASIOCHAN_STREAM_EVENT_OVERFLOW)) n = 0;
        if (n != 0) {
            const RingSpan span(produced, s->ringFrames, n);
            for (std::int32_t i = 0; i < in.count; ++i) {
                // Where a reader on another core would read frames not yet written,
                // were the count published before the copies (host-build tests).
                ASIOCHAN_SEAM("stream period: before an input's copy");
                toRing(in.planes[i], span, in.width, period.inHalf[in.channels[i]]);
            }
            in.produced.store(produced + n, std::memory_order_release);
            s->recorded.store(s->recorded.load(std::memory_order_relaxed) + n, std::memory_order_release);
        }
        if (n < frames) {
            widenHole(in, produced + n, position + n, frames - n);
            s->dropped.store(s->dropped.load(std::memory_order_relaxed) + frames - n, std::memory_order_release);
        }
    }
    if (StreamDirection& out = s->out; out.count > 0) {
        const std::uint64_t consumed = out.consumed.load(std::memory_order_relaxed);
        const std::uint64_t n = std::min(out.produced.load(std::memory_order_seq_cst) - consumed, frames);
        if (n != 0) closeHole(*s, out, ASIOCHAN_STREAM_EVENT_UNDERRUN);
        // The writer's marked frame plays here if it is among these.
        if (const std::uint64_t mark = out.markFrame.load(std::memory_order_relaxed); mark - consumed < n)
            out.markPosition.store(position + (mark - consumed), std::memory_order_relaxed);
        const RingSpan span(consumed, s->ringFrames, n);
        for (std::int32_t i = 0; i < out.count; ++i) {
            std::uint8_t* half = period.outHalf[out.channels[i]];
            if (half == nullptr) continue;
            fromRing(out.planes[i], span, out.width, half);
            if (n < frames) std::memset(half + n * out.width, 0, (frames - n) * out.width);
        }
        if (n != 0) {
            out.consumed.store(consumed + n, std::memory_order_release);
            s->played.store(s->played.load(std::memory_order_relaxed) + n, std::memory_order_release);
        }
        if (n < frames) {
            widenHole(out, consumed + n, position + n, frames - n);
            s->underrun.store(s->underrun.load(std::memory_order_relaxed) + frames - n, std::memory_order_release);
        }
    }
    s->position.store(position + frames, std::memory_order_release);
    endCounts(*s);
}

}  // namespace asiochan
