// The input side of `asiochan monitor`: the inputs record in step into a few
// short sets of buffers queued with the library one after another, and every
// filled set is decoded into the level meters, so no period goes unmeasured
// between two refreshes.
#pragma once

#include <cstdint>
#include <vector>

#include "measure/levels.h"

namespace cli {

// The monitored inputs as a run has them.
struct InputShape {
    std::int32_t frames = 0;  // a period
    double rate = 0.0;
    std::vector<std::int32_t> types;
    std::vector<int> widths;
};

class LevelCapture {
public:
    explicit LevelCapture(std::vector<unsigned> inputs) : inputs_(std::move(inputs)) {}
    ~LevelCapture() { stop(); }
    LevelCapture(const LevelCapture&) = delete;
    LevelCapture& operator=(const LevelCapture&) = delete;

    // In the run prepared now: makes the sets for its shape, queues two and starts
    // capture; QueueCaptureBuffers' code.
    std::int32_t start(const InputShape& shape);
    // Adds the sets filled since the last call to `meters` (one per input) and
    // queues them again; QueueCaptureBuffers' code.
    std::int32_t collect(std::vector<LevelMeter>& meters);
    void stop();
    // Frames the inputs dropped in all runs (no set was queued in time).
    std::uint64_t dropped() const { return droppedBefore_ + dropped_; }

private:
    std::int32_t feed(std::uint64_t filled);

    std::vector<unsigned> inputs_;
    InputShape shape_;
    std::size_t setFrames_ = 0;
    std::vector<std::vector<std::vector<std::uint8_t>>> sets_;  // set, input, bytes
    std::vector<std::uint8_t*> pointers_;
    std::vector<double> decoded_;
    std::uint64_t queued_ = 0;    // sets queued in this run
    std::uint64_t measured_ = 0;  // sets added to the meters in this run
    std::uint64_t dropped_ = 0;   // in this run
    std::uint64_t droppedBefore_ = 0;
    int refusals_ = 0;  // queue calls refused in a row
    bool running_ = false;
};

}  // namespace cli
