// Keeps a streaming capture's queue fed and hands every filled set to the writer
// (capture_sets.h) with its place in the file (queue_timeline.h). Within a run it
// polls the queue on a thread of its own every couple of milliseconds: a set lasts
// about half a second, so the next one is queued long before the library runs
// out. One object serves every run of a capture, one run at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "streaming/capture_queue.h"
#include "streaming/capture_sets.h"
#include "streaming/queue_timeline.h"
#include "streaming/spsc_ring.h"
#include "system/worker_thread.h"

namespace cli {

// Frames the inputs dropped (nothing was queued to take them): the file has
// silence for them from frame `at` on.
struct DropEvent {
    std::uint64_t at = 0;
    std::uint64_t frames = 0;
};

class CapturePump {
public:
    CapturePump(CaptureSets& sets, std::vector<unsigned> inputs) : sets_(sets), inputs_(std::move(inputs)) {}
    ~CapturePump() { stopThread(); }
    CapturePump(const CapturePump&) = delete;
    CapturePump& operator=(const CapturePump&) = delete;

    // A run prepared now, capture not started: the file holds `base` frames and
    // takes at most `limit` more. Queues the first two sets; QueueCaptureBuffers' code.
    std::int32_t begin(std::uint64_t base, std::uint64_t limit);
    // Polls on a thread until the run is complete or fails, or stopThread.
    bool startThread();
    void stopThread();
    // After the run's capture stopped (StopCapture, Prepare or Finish) and the
    // thread: the last reading; hands what the sets hold and the drops after them.
    void finish();

    // The run put its limit in the file.
    bool complete() const { return complete_.load(std::memory_order_acquire); }
    // The queue could not be fed or read; the reason is set before the flag.
    bool failed() const { return failed_.load(std::memory_order_acquire); }
    const std::string& failure() const { return failure_; }
    // Frames captured, dropped ones counted, the earlier runs' included.
    std::uint64_t frames() const { return frames_.load(std::memory_order_acquire); }
    // Frames dropped in all runs.
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_acquire); }
    // The next drop not yet taken, oldest first.
    bool takeDrop(DropEvent* drop) { return drops_.pop(drop); }
    // Drops that did not fit in the queue of drops to report.
    std::uint64_t unreported() const { return unreported_.load(std::memory_order_acquire); }

private:
    bool step();
    bool feed(const QueueReading& reading);
    bool handPieces();
    void fail(const std::string& why);

    CaptureSets& sets_;
    std::vector<unsigned> inputs_;
    QueueTimeline timeline_{1, 0};
    std::vector<QueueTimeline::Piece> pieces_;
    std::uint64_t base_ = 0;
    std::uint64_t limit_ = 0;
    std::uint64_t queued_ = 0;  // sets queued in this run
    int refusals_ = 0;          // queue calls refused in a row
    bool live_ = false;         // begun, not finished
    WorkerThread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> complete_{false};
    std::atomic<bool> failed_{false};
    std::string failure_;
    std::atomic<std::uint64_t> frames_{0};
    std::atomic<std::uint64_t> dropped_{0};
    SpscRing<DropEvent> drops_{256};
    std::atomic<std::uint64_t> unreported_{0};
};

}  // namespace cli
