// Heap blocks the engine owns (playback copies, capture shadow copies), and the
// marker a playback channel's `next` field holds once its queue is closed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace asiochan {

constexpr std::size_t kBlockOverheadBytes = 16;

// A block of `bytes` bytes (at least one, so an empty buffer still has an
// address), with kBlockOverheadBytes of header in front (see RetiredBlocks); null
// when `bytes` is negative or memory is short.
std::uint8_t* allocateBlock(std::int64_t bytes);
// Releases a block from allocateBlock; null and the closed-queue marker are ignored.
// Never on the driver's thread: that thread retires blocks instead.
void releaseBlock(std::uint8_t* block);

// Blocks the driver's thread has given up, waiting to be released by another
// thread. retire pushes a block on a lock-free list linked through a header every
// block carries in front of its bytes: no heap call, no lock, no wait, only a
// compare-exchange loop that a concurrent retire can make repeat. releaseAll takes
// the whole list with one exchange, which keeps the list free of the ABA problem
// (blocks are only ever pushed one by one and taken all at once).
class RetiredBlocks {
public:
    constexpr RetiredBlocks() = default;
    RetiredBlocks(const RetiredBlocks&) = delete;
    RetiredBlocks& operator=(const RetiredBlocks&) = delete;

    // Any thread, the driver's included. Null and the closed-queue marker are ignored.
    void retire(std::uint8_t* block) noexcept;
    // Any thread but the driver's: releases every retired block; returns how many.
    std::uint32_t releaseAll();

private:
    std::atomic<void*> head_{nullptr};
};

// Stored in `next` by the period processing when a channel's last block ends
// with nothing queued: a SetPlayBuffer racing with that end sees the queue
// closed instead of leaving a block behind an idle channel.
std::uint8_t* queueClosedMarker();
inline bool isBlock(const std::uint8_t* p) { return p != nullptr && p != queueClosedMarker(); }

}  // namespace asiochan
