// The 32-bit sample values the file players compute, in and out of a driver's
// sample types, for checking what a loopback captured. A value's full scale is the
// whole 32-bit range; bytes are little-endian (a capture of an MSB type is turned
// around before it is compared). The types are the rows of the public header's
// table (ASIOCHAN_SAMPLE_TYPES), the one the library lays its samples out by.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cli {

// One row of the header's sample-type table.
struct SampleType {
    std::int32_t code;
    const char* name;
    int bytes;  // 0: no width
    bool msbFirst;
    bool isFloat;
    int bits;  // integers: the significant bits, the low ones of the sample
};

// The row of `type`, or null for a code the table does not list.
const SampleType* findSampleType(std::int32_t type);

// Writes `value` as one sample of ASIO type `type` into `out` (at most 8 bytes) and
// returns its width, or 0 for a type without a width.
int encodeSample(std::int32_t value, std::int32_t type, std::uint8_t* out);

// The value one sample of `type` holds, clipped to the 32-bit range: the inverse of
// encodeSample for every value that type can hold.
std::int32_t decodeSample(const std::uint8_t* in, std::int32_t type);

// Decodes `count` samples of `type` laid back to back into values of full scale 1.0
// (the 32-bit value over 2^31); a type without a width gives zeros.
void decodeUnitSamples(const std::uint8_t* in, std::size_t count, std::int32_t type, double* out);

// The name of an ASIO sample type and its WAV equivalent: the container of the
// driver's width, little-endian, an integer's significant bits at its top (a
// low-justified type is shifted up, so that its level in the file is its true one;
// the bits below them are zeros).
struct SampleFormat {
    const char* name;
    int bytes;             // bytes per sample in the driver's buffers and in the file
    std::uint16_t wavTag;  // 1 = PCM, 3 = IEEE float, 0 = no WAV equivalent
    std::uint16_t wavBits;
};
SampleFormat describeSampleType(std::int32_t type);

// Turns `count` samples of `type` as a driver lays them out into their WAV layout
// (describeSampleType), in place: MSB types turned around, low-justified integers
// shifted to the top of their container. Types without a width are left alone.
void toWavLayout(std::uint8_t* samples, std::size_t count, std::int32_t type);

}  // namespace cli
