// The known pattern the simulated driver feeds its inputs: a function of the input
// channel and the byte offset in that channel's stream since the driver started.
// Standalone (no platform code), so that checkers outside the driver link it too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace asiochan::sim {

// Byte `offset` of the input pattern of input channel `channel`.
std::uint8_t inputPatternByte(std::int32_t channel, std::uint64_t offset);

// Writes bytes `offset` .. `offset + bytes - 1` of channel `channel`'s pattern to
// `out`: the same values as inputPatternByte, eight bytes at a time.
void fillInputPattern(std::int32_t channel, std::uint64_t offset, std::uint8_t* out, std::size_t bytes);

}  // namespace asiochan::sim
