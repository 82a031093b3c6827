#include "engine/channel_blocks.h"

#include <atomic>
#include <cstddef>
#include <new>

namespace asiochan {

namespace {
std::uint8_t closedMarker;

// In front of every block's bytes; 16 bytes keep the bytes as aligned as the
// allocator's own blocks.
struct BlockHeader {
    std::atomic<BlockHeader*> nextRetired{nullptr};
    unsigned char padding[16 - sizeof(std::atomic<BlockHeader*>)];
};
static_assert(sizeof(BlockHeader) == kBlockOverheadBytes);

BlockHeader* headerOf(std::uint8_t* block) { return reinterpret_cast<BlockHeader*>(block - sizeof(BlockHeader)); }
}  // namespace

std::uint8_t* allocateBlock(std::int64_t bytes) {
    if (bytes < 0) return nullptr;
    if (static_cast<std::uint64_t>(bytes) > static_cast<std::uint64_t>(SIZE_MAX / 2)) return nullptr;
    const std::size_t size = (bytes == 0 ? 1 : static_cast<std::size_t>(bytes)) + sizeof(BlockHeader);
    auto* raw = new (std::nothrow) std::uint8_t[size];
    if (raw == nullptr) return nullptr;
    auto* header = new (raw) BlockHeader;
    return reinterpret_cast<std::uint8_t*>(header) + sizeof(BlockHeader);
}

void releaseBlock(std::uint8_t* block) {
    if (!isBlock(block)) return;
    BlockHeader* header = headerOf(block);
    header->~BlockHeader();
    delete[] reinterpret_cast<std::uint8_t*>(header);
}

void RetiredBlocks::retire(std::uint8_t* block) noexcept {
    if (!isBlock(block)) return;
    BlockHeader* header = headerOf(block);
    void* head = head_.load(std::memory_order_relaxed);
    do {
        header->nextRetired.store(static_cast<BlockHeader*>(head), std::memory_order_relaxed);
    } while (!head_.compare_exchange_weak(head, header, std::memory_order_release, std::memory_order_relaxed));
}

std::uint32_t RetiredBlocks::releaseAll() {
    auto* header = static_cast<BlockHeader*>(head_.exchange(nullptr, std::memory_order_acquire));
    std::uint32_t count = 0;
    while (header != nullptr) {
        BlockHeader* next = header->nextRetired.load(std::memory_order_relaxed);
        releaseBlock(reinterpret_cast<std::uint8_t*>(header) + sizeof(BlockHeader));
        header = next;
        ++count;
    }
    return count;
}

std::uint8_t* queueClosedMarker() { return &closedMarker; }

}  // namespace asiochan
