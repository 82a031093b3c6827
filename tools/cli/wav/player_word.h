// The 32-bit word the library's file players make of one WAV sample: the file's
// value (8-bit samples as 16-bit ones) times the volume, truncated toward zero,
// clipped to the file's range and shifted to the 32-bit range. The host's own
// queueing plays these words, and the loopback check expects them. It also plays
// 32-bit files, which the players do not take: an integer sample is its own word,
// a float one of full scale +-1.0 is that times 2^31; either times the volume in
// double precision, rounded to nearest and clipped to the 32-bit range.
#pragma once

#include <cstdint>

namespace cli {

// `sample` points at one little-endian sample of `width` bytes (1 to 4); `isFloat`
// tells a 4-byte float from an integer.
std::int32_t playerWord(const std::uint8_t* sample, unsigned width, float volume, bool isFloat = false);

// True when samples of `bits` bits in format `sampleFormat` (1 integer, 3 float)
// have player words: 8, 16 and 24 bits of any format, as the players read them,
// and 32-bit integer or float samples.
bool hasPlayerWords(unsigned bits, unsigned sampleFormat);

}  // namespace cli
