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

// The counters of inputs queued together: those of the input furthest behind. A
// period fills the inputs one after another, so in the middle of one some have
// taken its frames and some not yet: a buffer is full on all of them (and free to
// write out, and another may be queued behind the next) only once the last says
// so. False when the library does not answer.
bool readQueue(const std::vector<unsigned>& inputs, QueueReading* reading);

}  // namespace cli
