// The stream's memory: one ring per direction, planar (each channel's samples
// back to back in the driver's own bytes, so a period copies each half-buffer in
// one or two pieces), the gaps each consumer must learn of, the events for the
// reader and for the writer, and the counts GetStreamState reports.
//
// Who writes what. The input ring: the periods produce, the reader consumes. The
// output ring: the writer produces, the periods consume. Each ring counts what
// was produced and consumed (64-bit, never wrapping); a side writes its count
// after its bytes (release) and reads the other's before it touches bytes
// (acquire). The gap queues and the event queues are single-producer
// single-consumer in the same way: the periods produce, the reader or the writer
// consumes. A stop that has waited for the periods in flight takes the periods'
// place for the last gap and event. No field here is written by two sides.
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

private:
    std::atomic<std::uint64_t> at_[kSlots]{};
    std::atomic<std::uint64_t> frames_[kSlots]{};
    std::atomic<std::uint32_t> head_{0};  // consumer
    std::atomic<std::uint32_t> tail_{0};  // producer
};

// Events for one consumer; one that finds the queue full is counted as lost.
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
    StreamGaps gaps;
    // The hole the periods are making (inputs: a full ring; outputs: an empty
    // one): frames so far, the consumer's frame it lies before, and its position.
    std::atomic<std::uint64_t> openFrames{0};
    std::atomic<std::uint64_t> openAt{0};
    std::atomic<std::uint64_t> openPosition{0};
    // The consumer's own: the position of its next frame (inputs) or the gaps it
    // has learnt of (outputs), and whether it has seen the end.
    std::uint64_t consumerPosition = 0;
    bool endDelivered = false;
};

struct StreamRings {
    FrameFormat format = FrameFormat::Native;
    std::uint32_t ringFrames = 0;
    StreamDirection in;
    StreamDirection out;
    std::atomic<std::uint32_t> phase{kPhaseOpen};
    std::atomic<std::uint64_t> endPosition{0};
    std::atomic<std::uint8_t> closing{0};
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
