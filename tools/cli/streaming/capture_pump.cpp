#include "streaming/capture_pump.h"

#include <windows.h>

#include <algorithm>

#include "asiochan.h"

namespace cli {

namespace {
constexpr DWORD kPollMs = 2;
// Two sets in the library at once: one filling, one waiting.
constexpr std::uint64_t kQueueDepth = 2;
// Refusals in a row (a poll each) before the queue counts as broken: 0.2 s.
constexpr int kMostRefusals = 100;
}  // namespace

std::int32_t CapturePump::begin(std::uint64_t base, std::uint64_t limit) {
    base_ = base;
    limit_ = limit;
    queued_ = 0;
    refusals_ = 0;
    timeline_ = QueueTimeline(sets_.setFrames(), limit);
    complete_ = false;
    frames_.store(base, std::memory_order_release);
    live_ = true;
    if (limit == 0) {
        complete_ = true;
        return ASIOCHAN_OK;
    }
    // Nothing is recorded yet: both sets go in.
    return feed(QueueReading{}) ? ASIOCHAN_OK : ASIOCHAN_INVALID_MODE;
}

void CapturePump::fail(const std::string& why) {
    if (failed()) return;
    failure_ = why;
    failed_.store(true, std::memory_order_release);
}

bool CapturePump::feed(const QueueReading& reading) {
    const std::uint64_t filled = reading.recorded / sets_.setFrames();
    while (queued_ - filled < kQueueDepth && queued_ * sets_.setFrames() + reading.dropped < limit_ &&
           sets_.canQueue()) {
        const std::int32_t code = queueBuffers(inputs_, sets_.nextToQueue(), sets_.setBytes());
        // A period under way may not have made room on every input yet: the set
        // goes in at a later poll (nothing was queued). Refused for longer, it fails.
        if (code == ASIOCHAN_INVALID_MODE && ++refusals_ < kMostRefusals) return true;
        if (code != ASIOCHAN_OK) {
            fail("the inputs' buffers could not be queued (code " + std::to_string(code) + ")");
            return false;
        }
        refusals_ = 0;
        sets_.markQueued();
        ++queued_;
    }
    return true;
}

bool CapturePump::handPieces() {
    for (const QueueTimeline::Piece& piece : pieces_) {
        if (piece.zeros > 0) {
            dropped_.fetch_add(piece.zeros, std::memory_order_acq_rel);
            if (!drops_.push({base_ + piece.at, piece.zeros})) unreported_.fetch_add(1, std::memory_order_acq_rel);
        }
        if (!sets_.hand(piece.zeros, piece.frames, piece.ownsSet)) {
            fail("the writer's queue is full");
            return false;
        }
    }
    pieces_.clear();
    return true;
}

bool CapturePump::step() {
    QueueReading reading;
    if (!readQueue(inputs_, &reading)) {
        fail("the library did not tell the state of the capture queue");
        return false;
    }
    timeline_.follow(reading.recorded, reading.dropped, &pieces_);
    if (!handPieces()) return false;
    frames_.store(base_ + std::min(reading.recorded + reading.dropped, limit_), std::memory_order_release);
    if (timeline_.complete()) {
        complete_.store(true, std::memory_order_release);
        return false;
    }
    return feed(reading);
}

bool CapturePump::startThread() {
    stop_ = false;
    return thread_.start([this] {
        while (!stop_.load(std::memory_order_acquire) && step()) Sleep(kPollMs);
    });
}

void CapturePump::stopThread() {
    stop_.store(true, std::memory_order_release);
    thread_.join();
}

void CapturePump::finish() {
    if (!live_) return;
    live_ = false;
    QueueReading reading;
    // Without an answer, only the sets known to be filled go to the file.
    if (!readQueue(inputs_, &reading)) reading = {timeline_.handed() * sets_.setFrames(), 0};
    timeline_.finish(reading.recorded, reading.dropped, queued_, &pieces_);
    handPieces();
    frames_.store(base_ + timeline_.position(), std::memory_order_release);
    if (timeline_.complete()) complete_.store(true, std::memory_order_release);
}

}  // namespace cli
