// The 32-bit word the library's file players make of one WAV sample: the file's
// value (8-bit samples as 16-bit ones) times the volume, truncated toward zero,
// clipped to the file's range and shifted to the 32-bit range. The host's own
// queueing plays these words, and the loopback check expects them.
#pragma once

#include <cstdint>

namespace cli {

// `sample` points at one little-endian sample of `width` bytes (1, 2 or 3).
std::int32_t playerWord(const std::uint8_t* sample, unsigned width, float volume);

}  // namespace cli
