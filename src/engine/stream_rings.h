// The stream's memory: one ring per direction, planar (each channel's samples
// back to back in the driver's own bytes, so a period copies each half-buffer in
// one or two pieces), the gaps each consumer must learn of, the events for the
// reader and for the writer, and the counts GetStreamState reports.
//
// Who writes what. The input ring: the periods produce, the reader consumes. The
// output ring: the writer produces, the periods consume. Each ring counts what
// was produced and consumed (64-bit, never wrapping); a side writes its count
// after its bytes (release) and reads the other's before it touches bytes
// (acquire). The input's gap queue and the event queues are single-producer
// single-consumer in the same way: the periods produce, the reader or the writer
// consumes. The writer needs no gap queue: it learns where its frames play from
// the counts (see Engine::writeStream). Whoever ends the stream (a stop, a reset
// request seen by a period or by a caller) takes the periods' place for the last
// gap and event once no period can be inside the stream, and only one does
// (`finisher`). Stalls and the end are told to each consumer outside the event
// queue, so that they are never dropped.
#pragma once

#include <atomic>
#include <cstdint>

#include "asiochan.h"
#include "driver/asio_types.h"
#include "driver/channel_mask.h"
#include "engine/stream_conversion.h"
#include "platform/platform.h"

namespace asiochan {

// Where a consumer's stream has a hole: `frames` frames of the device passed
// before the consumer's frame `at` (inputs: dropped or skipped; outputs: silence
// played or skipped before written frame `at`).
class StreamGaps {
public:
    static constexpr std::uint32_t kSlots = 64;
    bool push(std::uint64_t at, std::uint64_t frames);
    bool full() const;
    bool peek(std::uint64_t& at, std::uint64_t& frames) const;
    void pop();
    // Any thread: where the first gap after frame `frame` lies (UINT64_MAX: none
    // queued); gaps at or before it are the next read's to take.
    std::uint64_t nextAfter(std::uint64_t frame) const;

private:
    std::atomic<std::uint64_t> at_[kSlots]{};
    std::atomic<std::uint64_t> frames_[kSlots]{};
    std::atomic<std::uint32_t> head_{0};  // consumer
    std::atomic<std::uint32_t> tail_{0};  // producer
};

// Events for one consumer; the newest, finding the queue full, is dropped and
// counted as lost (the unread ones stay as they are).
class StreamEvents {
public:
    static constexpr std::uint32_t kSlots = 64;
    void push(std::uint32_t code, std::uint64_t frames, std::uint64_t position);
    bool pop(AsiochanStreamEvent& event);
    std::uint32_t pending() const;
    // Consumer: events lost since the last call.
    std::uint32_t takeLost();

private:
    std::atomic<std::uint32_t> code_[kSlots]{};
    std::atomic<std::uint32_t> frames_[kSlots]{};
    std::atomic<std::uint64_t> position_[kSlots]{};
    std::atomic<std::uint32_t> head_{0};
    std::atomic<std::uint32_t> tail_{0};
    std::atomic<std::uint32_t> lost_{0};  // producer
    std::uint32_t lostReported_ = 0;      // consumer
};

// Open -> Running -> Stopping -> Ended (Open -> Stopping for a stream never
// started). Stopping: the periods that enter leave the stream alone; it ends once
// those already inside are done with it.
enum StreamPhase : std::uint32_t { kPhaseOpen = 1, kPhaseRunning = 2, kPhaseStopping = 3, kPhaseEnded = 4 };

struct StreamDirection {
    std::int32_t count = 0;
    std::uint8_t channels[kMaxChannels]{};
    std::uint32_t width = 0;       // the driver's bytes per sample
    std::uint32_t frameBytes = 0;  // the application's bytes per interleaved frame
    std::uint32_t offsets[kMaxChannels]{};
    StreamDecode decode[kMaxChannels]{};
    StreamEncode encode[kMaxChannels]{};
    std::uint8_t* planes[kMaxChannels]{};
    std::atomic<std::uint64_t> produced{0};
    std::atomic<std::uint64_t> consumed{0};
    StreamGaps gaps;  // inputs only
    // Outputs: the written frame whose position the writer asks for, and where
    // the period that played it played it.
    std::atomic<std::uint64_t> markFrame{UINT64_MAX};
    std::atomic<std::uint64_t> markPosition{0};
    // The hole the periods are making (inputs: a full ring; outputs: an empty
    // one): frames so far, the consumer's frame it lies before, and its position.
    std::atomic<std::uint64_t> openFrames{0};
    std::atomic<std::uint64_t> openAt{0};
    std::atomic<std::uint64_t> openPosition{0};
    // The consumer's own: the position of its next frame, the stalls told, and
    // whether it has taken the hole left open at the end and seen the end.
    std::uint64_t consumerPosition = 0;
    std::uint32_t stallsTold = 0;
    bool endHoleTaken = false;
    bool endDelivered = false;
};

struct StreamRings {
    FrameFormat format = FrameFormat::Native;
    std::uint32_t ringFrames = 0;
    StreamDirection in;
    StreamDirection out;
    std::uint32_t serial = 0;         // which open made it
    std::uint32_t stallLimitMs = 0;   // no period for this long while running is a stall
    std::atomic<std::uint32_t> phase{kPhaseOpen};
    std::atomic<std::uint64_t> endPosition{0};
    std::atomic<std::uint8_t> closing{0};
    // PlayAndRecord's own stream: other callers may stop it, not use or close it.
    std::atomic<std::uint8_t> ownedByCall{0};
    // The ending: the periods entered when it began (valid once `stopMarked`),
    // and the one side that writes the end.
    std::atomic<std::uint32_t> stopMark{0};
    std::atomic<std::uint8_t> stopMarked{0};
    std::atomic<std::uint8_t> finisher{0};
    // The stall watch, kept by the callers: the period count last seen with the
    // millisecond it was first seen (count << 32 | ms), the watch word of the last
    // stall raised, the stalls raised and the position of the last.
    std::atomic<std::uint64_t> watch{0};
    std::atomic<std::uint64_t> stallRaisedFor{UINT64_MAX};
    std::atomic<std::uint32_t> stalls{0};
    std::atomic<std::uint64_t> stallPosition{0};
    StreamEvents readerEvents;
    StreamEvents writerEvents;
    // GetStreamState's counts, written by the periods only: `version` is odd while
    // a period changes them.
    std::atomic<std::uint32_t> version{0};
    std::atomic<std::uint64_t> position{0};
    std::atomic<std::uint64_t> recorded{0};
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<std::uint64_t> played{0};
    std::atomic<std::uint64_t> underrun{0};
    std::uint8_t* memory = nullptr;  // every plane, one block

    // Events to both consumers that exist.
    void event(std::uint32_t code, std::uint64_t frames, std::uint64_t at) {
        if (in.count > 0) readerEvents.push(code, frames, at);
        if (out.count > 0) writerEvents.push(code, frames, at);
    }
};

// Ends the stream where the device stands at `position`: the holes' last gaps and
// events, then the phase. Called by the one side that took `finisher` while no
// period can be inside the stream (stream_period.cpp).
void endStreamAt(StreamRings& s, std::uint64_t position);
// The stream's state at one moment between periods (stream_io.cpp).
void snapshotStream(const StreamRings& s, AsiochanStreamState& r);

// When a call with `timeoutMs` (-1: none) must have returned, in monotonic microseconds.
inline std::uint64_t streamDeadline(std::int32_t timeoutMs) {
    if (timeoutMs < 0) return UINT64_MAX;
    return platform::monotonicMicros() + std::uint64_t(timeoutMs) * 1000u;
}

// One of the stream's users (a reader, a writer, a state read) for as long as it
// lives; a close waits until none is left before it frees the rings.
class StreamUse {
public:
    explicit StreamUse(std::atomic<std::uint32_t>& users) : users_(users) {
        users_.fetch_add(1, std::memory_order_seq_cst);
    }
    ~StreamUse() { users_.fetch_sub(1, std::memory_order_seq_cst); }
    StreamUse(const StreamUse&) = delete;
    StreamUse& operator=(const StreamUse&) = delete;

private:
    std::atomic<std::uint32_t>& users_;
};

// Wakes readers and writers that wait: the library's thread sets the events
// every poll while one waits; stops and closes set them at once.
struct StreamWake {
    std::atomic<std::uint32_t> readers{0};
    std::atomic<std::uint32_t> writers{0};
    platform::Event readable;
    platform::Event writable;
    bool waiting() const {
        return readers.load(std::memory_order_acquire) + writers.load(std::memory_order_acquire) != 0;
    }
    void wakeWaiting() {
        if (readers.load(std::memory_order_acquire) != 0) readable.set();
        if (writers.load(std::memory_order_acquire) != 0) writable.set();
    }
    void wakeAll() {
        readable.set();
        writable.set();
    }
};

}  // namespace asiochan
