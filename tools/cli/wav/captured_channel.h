// One input's samples read back from a capture file the capture wrote (its
// layout known), for the loopback check: the capture is not held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// The first `frames` samples (of `width` bytes) of channel `index` of the
// `channels` interleaved from `dataOffset` on in `path` (fewer when the file ends).
bool readCapturedChannel(const std::string& path, std::size_t dataOffset, std::size_t channels, int width,
                         std::size_t index, std::uint64_t frames, std::vector<std::uint8_t>* samples,
                         std::string* error);

}  // namespace cli
