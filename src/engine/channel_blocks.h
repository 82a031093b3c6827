// Heap blocks the engine owns (playback copies, capture shadow copies), and the
// marker a playback channel's `next` field holds once its queue is closed.
#pragma once

#include <cstdint>

namespace asiochan {

// A block of `bytes` bytes (at least one, so an empty buffer still has an
// address); null when `bytes` is negative or memory is short.
std::uint8_t* allocateBlock(std::int64_t bytes);
// Releases a block from allocateBlock; null and the closed-queue marker are ignored.
// Never on the driver's thread: that thread retires blocks instead.
void releaseBlock(std::uint8_t* block);

// The driver's thread gives up a block it no longer needs: the block is pushed on
// a lock-free list (linked through a header every block carries in front of its
// bytes) and released later by releaseRetiredBlocks. No heap call, no lock, no
// wait: a compare-exchange loop that only a concurrent retire can make repeat.
// Null and the closed-queue marker are ignored.
void retireBlock(std::uint8_t* block);
// Releases every retired block; any thread but the driver's. Returns how many.
// Taking the whole list with one exchange keeps the list free of the ABA problem
// (blocks are only ever pushed one by one and taken all at once).
std::uint32_t releaseRetiredBlocks();

// Stored in `next` by the period processing when a channel's last block ends
// with nothing queued: a SetPlayBuffer racing with that end sees the queue
// closed instead of leaving a block behind an idle channel.
std::uint8_t* queueClosedMarker();
inline bool isBlock(const std::uint8_t* p) { return p != nullptr && p != queueClosedMarker(); }

}  // namespace asiochan
