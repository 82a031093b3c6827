// Laying out the players' sample values in an output channel's own sample type.
//
// A sample value is a signed 32-bit integer whose full scale is the whole 32-bit
// range. Each type takes it as its row of the sample-type table says
// (driver/sample_types.h): the integer types v >> (32 - bits) in 2, 3 or 4 bytes,
// sign-extended; the float types v / 2147483648.0, so that full scale is +-1.0; LSB
// types the least significant byte first, MSB types the most significant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/sample_types.h"

namespace asiochan {

using SampleValue = std::int32_t;

// Bytes one sample takes in `type`: 2, 3, 4 or 8, or 0 for a type the players
// cannot write (the DSD types and unlisted codes).
std::uint32_t sampleLayoutWidth(ASIOSampleType type);

// Writes `count` values into `out` in one type, without a branch per sample.
using SampleLayoutFunction = void (*)(const SampleValue* values, std::size_t count, std::uint8_t* out);

// The writer for `type`, or null for a type without a width. Pick it once per block.
SampleLayoutFunction sampleLayoutFor(ASIOSampleType type);

// Writes `count` values into `out` in `type`, sampleLayoutWidth(type) bytes each.
// The type is looked at once; the loop itself has no branch per sample. Returns
// false, writing nothing, for a type without a width.
bool layOutSamples(ASIOSampleType type, const SampleValue* values, std::size_t count, std::uint8_t* out);

}  // namespace asiochan
