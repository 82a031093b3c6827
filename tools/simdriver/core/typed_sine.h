// The "types" class's input signal: a 997 Hz sine at half of full scale (-6.02
// dBFS), laid out in any sample type with a width, worked out from the type's row
// of the sample-type table (bytes, byte order, float or the significant bits, the
// low ones of an integer sample) without the library's conversions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/sample_types.h"

namespace asiochan::sim {

constexpr double kTypedSineHz = 997.0;
constexpr double kTypedSineAmplitude = 0.5;

// Writes samples `first` .. `first + count - 1` of the sine at `rate` in `type` to
// `out`; nothing for a type without a width.
void fillTypedSine(ASIOSampleType type, std::uint64_t first, std::size_t count, double rate, std::uint8_t* out);

}  // namespace asiochan::sim
