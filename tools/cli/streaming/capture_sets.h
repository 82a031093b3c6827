// The buffers of a streaming capture: a fixed number of sets, each one buffer per
// input, that go round. The pump queues them with the library in order and hands
// each, once filled, to the writer with what goes to the file (a Handoff); the
// writer writes it and gives the set back. Memory stays what layout() made,
// whatever the capture's length.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "streaming/spsc_ring.h"

namespace cli {

// How a capture's buffers are cut: sets of `setFrames` frames, `sets` of them.
struct SetPlan {
    std::size_t setFrames = 0;
    std::size_t sets = 0;
};

// Sets a capture goes round with.
constexpr std::size_t kCaptureSets = 8;

// Every input's buffer holds a whole number of periods, about half a second and
// at least four periods, and a set (all inputs) at most 8 MiB (down to one
// period). The library holds two sets, so the next is due within a set's length
// less a period; kCaptureSets sets leave the writer about three seconds of slack,
// and take at most 64 MiB in all (more only when one period of all inputs passes
// 8 MiB).
SetPlan planSets(std::size_t inputs, std::size_t width, double rate, std::size_t periodFrames);

class CaptureSets {
public:
    static constexpr std::size_t kNoSet = SIZE_MAX;
    struct Handoff {
        std::uint64_t zeros = 0;   // frames of silence first
        std::uint64_t frames = 0;  // then the first frames of the set
        std::size_t set = kNoSet;  // the set, given back once written
    };

    // Makes the sets (at most kCaptureSets); only while none is out (every set
    // queued was handed, written and given back). False without memory, leaving none.
    bool layout(const SetPlan& plan, std::size_t inputs, std::size_t width);
    std::size_t setFrames() const { return plan_.setFrames; }
    std::size_t setBytes() const { return plan_.setFrames * width_; }
    std::size_t bytesHeld() const { return plan_.sets * setBytes() * inputs_; }

    // The pump's side. A set is free to queue while fewer than all are out.
    bool canQueue() const { return queued_ - given_.load(std::memory_order_acquire) < buffers_.size(); }
    std::uint8_t* const* nextToQueue() const { return buffers_[queued_ % buffers_.size()].data(); }
    void markQueued() { ++queued_; }
    // Hands the oldest queued set not yet handed (or, with `ownsSet` false, no set)
    // to the writer with what goes to the file. False when the writer's queue is full.
    bool hand(std::uint64_t zeros, std::uint64_t frames, bool ownsSet);

    // The writer's side.
    bool take(Handoff* handoff) { return handoffs_.pop(handoff); }
    std::uint8_t* const* buffers(std::size_t set) const { return buffers_[set].data(); }
    // The writer is done with a handoff: its set is free again.
    void giveBack(const Handoff& handoff);
    // Every handoff made has been written and given back.
    bool drained() const { return done_.load(std::memory_order_acquire) == handoffs_.pushed(); }

private:
    SetPlan plan_;
    std::size_t inputs_ = 0;
    std::size_t width_ = 0;
    std::vector<std::vector<std::uint8_t>> memory_;  // set-major, one buffer per input
    std::vector<std::vector<std::uint8_t*>> buffers_;
    // Made once: the writer's thread polls it while sets are laid out again.
    SpscRing<Handoff> handoffs_{2 * kCaptureSets + 2};
    // Counted over every layout: set n of the queue is buffers_[n % sets].
    std::uint64_t queued_ = 0;             // pump
    std::uint64_t handedSets_ = 0;         // pump
    std::atomic<std::uint64_t> given_{0};  // writer: sets given back
    std::atomic<std::uint64_t> done_{0};   // writer: handoffs written
};

}  // namespace cli
