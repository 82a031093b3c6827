// Heap blocks the engine owns (playback copies, capture shadow copies), and the
// marker a playback channel's `next` field holds once its queue is closed.
#pragma once

#include <cstdint>

namespace asiochan {

// A block of `bytes` bytes (at least one, so an empty buffer still has an
// address); null when `bytes` is negative or memory is short.
std::uint8_t* allocateBlock(std::int64_t bytes);
// Releases a block from allocateBlock; null and the closed-queue marker are ignored.
void releaseBlock(std::uint8_t* block);

// Stored in `next` by the period processing when a channel's last block ends
// with nothing queued: a SetPlayBuffer racing with that end sees the queue
// closed instead of leaving a block behind an idle channel.
std::uint8_t* queueClosedMarker();
inline bool isBlock(const std::uint8_t* p) { return p != nullptr && p != queueClosedMarker(); }

}  // namespace asiochan
