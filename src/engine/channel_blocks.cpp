#include "engine/channel_blocks.h"

#include <new>

namespace asiochan {

namespace {
std::uint8_t closedMarker;
}

std::uint8_t* allocateBlock(std::int64_t bytes) {
    if (bytes < 0) return nullptr;
    if (static_cast<std::uint64_t>(bytes) > static_cast<std::uint64_t>(SIZE_MAX / 2)) return nullptr;
    return new (std::nothrow) std::uint8_t[bytes == 0 ? 1 : static_cast<std::size_t>(bytes)];
}

void releaseBlock(std::uint8_t* block) {
    if (isBlock(block)) delete[] block;
}

std::uint8_t* queueClosedMarker() { return &closedMarker; }

}  // namespace asiochan
