// The ASIO sample types the library knows: code, name, width, byte order and how a
// value lies in the bytes. The rows are the public header's table
// (ASIOCHAN_SAMPLE_TYPES): a new type is a row there, and the widths, the players'
// layouts and the command-line host's codec follow from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "asiochan.h"
#include "driver/asio_types.h"

namespace asiochan {

// The ASIO names of the codes.
enum : ASIOSampleType {
    ASIOSTInt16MSB = ASIOCHAN_SAMPLE_INT16MSB,
    ASIOSTInt24MSB = ASIOCHAN_SAMPLE_INT24MSB,
    ASIOSTInt32MSB = ASIOCHAN_SAMPLE_INT32MSB,
    ASIOSTFloat32MSB = ASIOCHAN_SAMPLE_FLOAT32MSB,
    ASIOSTFloat64MSB = ASIOCHAN_SAMPLE_FLOAT64MSB,
    ASIOSTInt32MSB16 = ASIOCHAN_SAMPLE_INT32MSB16,
    ASIOSTInt32MSB18 = ASIOCHAN_SAMPLE_INT32MSB18,
    ASIOSTInt32MSB20 = ASIOCHAN_SAMPLE_INT32MSB20,
    ASIOSTInt32MSB24 = ASIOCHAN_SAMPLE_INT32MSB24,
    ASIOSTInt16LSB = ASIOCHAN_SAMPLE_INT16LSB,
    ASIOSTInt24LSB = ASIOCHAN_SAMPLE_INT24LSB,
    ASIOSTInt32LSB = ASIOCHAN_SAMPLE_INT32LSB,
    ASIOSTFloat32LSB = ASIOCHAN_SAMPLE_FLOAT32LSB,
    ASIOSTFloat64LSB = ASIOCHAN_SAMPLE_FLOAT64LSB,
    ASIOSTInt32LSB16 = ASIOCHAN_SAMPLE_INT32LSB16,
    ASIOSTInt32LSB18 = ASIOCHAN_SAMPLE_INT32LSB18,
    ASIOSTInt32LSB20 = ASIOCHAN_SAMPLE_INT32LSB20,
    ASIOSTInt32LSB24 = ASIOCHAN_SAMPLE_INT32LSB24,
    ASIOSTDSDInt8LSB1 = ASIOCHAN_SAMPLE_DSD_INT8LSB1,
    ASIOSTDSDInt8MSB1 = ASIOCHAN_SAMPLE_DSD_INT8MSB1,
    ASIOSTDSDInt8NER8 = ASIOCHAN_SAMPLE_DSD_INT8NER8,
};

enum class ByteOrder : std::uint8_t { Lsb, Msb };
enum class SampleEncoding : std::uint8_t { Integer, Float };

struct SampleType {
    ASIOSampleType code;
    const char* name;
    std::uint32_t bytes;  // 0: no width, the library moves no bytes of this type
    ByteOrder order;
    SampleEncoding encoding;
    // Integers: the significant bits, the low ones of the sample, so that a 32-bit
    // value v is stored as v >> (32 - bits). Floats: 8 x bytes, full scale +-1.0.
    std::uint32_t bits;
};

inline constexpr SampleType kSampleTypes[] = {
#define ASIOCHAN_SAMPLE_ROW(id, code, name, bytes, msb, isFloat, bits)                                   \
    {code, name, bytes, (msb) ? ByteOrder::Msb : ByteOrder::Lsb,                                          \
     (isFloat) ? SampleEncoding::Float : SampleEncoding::Integer, bits},
    ASIOCHAN_SAMPLE_TYPES(ASIOCHAN_SAMPLE_ROW)
#undef ASIOCHAN_SAMPLE_ROW
};
inline constexpr std::size_t kSampleTypeCount = std::size(kSampleTypes);

// The row of `code`, or null for a code the table does not list.
constexpr const SampleType* findSampleType(ASIOSampleType code) {
    for (const SampleType& t : kSampleTypes)
        if (t.code == code) return &t;
    return nullptr;
}

// Bytes per sample of `type`, or 0 for a type without a width (DSD, unlisted codes).
constexpr std::int32_t sampleWidthOf(ASIOSampleType type) {
    const SampleType* t = findSampleType(type);
    return t != nullptr ? static_cast<std::int32_t>(t->bytes) : 0;
}

// The types with a width: the most distinct layouts one conversion may write.
inline constexpr std::size_t kTypesWithWidth = [] {
    std::size_t n = 0;
    for (const SampleType& t : kSampleTypes) n += t.bytes != 0 ? 1 : 0;
    return n;
}();

// Every row is one the library can lay samples out in: a code listed once, and
// either no width or an integer of 1 to 8 x bytes significant bits in 2, 3 or 4
// bytes, or a float of 4 or 8 bytes.
constexpr bool isWellFormed(const SampleType& t) {
    for (const SampleType& other : kSampleTypes)
        if (&other != &t && other.code == t.code) return false;
    if (t.bytes == 0) return t.bits == 0;
    if (t.encoding == SampleEncoding::Float) return (t.bytes == 4 || t.bytes == 8) && t.bits == 8 * t.bytes;
    return t.bytes >= 2 && t.bytes <= 4 && t.bits >= 1 && t.bits <= 8 * t.bytes;
}
static_assert([] {
    for (const SampleType& t : kSampleTypes)
        if (!isWellFormed(t)) return false;
    return true;
}());

}  // namespace asiochan
