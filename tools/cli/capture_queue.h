// The library's capture queue for inputs that record in step: one buffer queued
// on each with one call, and the counters they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cli {

struct QueueReading {
    std::uint64_t recorded = 0;  // frames recorded into queued buffers since Prepare
    std::uint64_t dropped = 0;   // frames that came while no buffer was queued
};

// Queues `buffers[i]` (`bytes` long) on `inputs[i]`, all in one step;
// QueueCaptureBuffers' code.
std::int32_t queueBuffers(const std::vector<unsigned>& inputs, std::uint8_t* const* buffers, std::size_t bytes);

// The counters of the queue of `input` (inputs queued together share them);
// false when the library does not answer them.
bool readQueue(unsigned input, QueueReading* reading);

}  // namespace cli
