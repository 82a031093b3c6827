// One buffer per channel into frames: sample i of channel c goes to frame i, in
// place c. The capture writer's inner loop.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cli {

// Writes `frames` frames of `channels` samples of `width` bytes to `out`, from
// samples `first` on of each buffer in `sources` (one per channel).
void interleave(const std::uint8_t* const* sources, std::size_t channels, std::size_t width, std::size_t first,
                std::size_t frames, std::uint8_t* out);

}  // namespace cli
