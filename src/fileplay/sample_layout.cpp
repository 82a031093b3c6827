#include "fileplay/sample_layout.h"

#include <array>
#include <bit>
#include <cstring>
#include <type_traits>
#include <utility>

#include "driver/sample_types.h"

namespace asiochan {

namespace {

// Stores the low `Bytes` bytes of `bits` in the given byte order. Little-endian
// stores of a whole word on a little-endian machine are a plain copy.
template <std::size_t Bytes, ByteOrder O, typename Bits>
inline void storeBytes(Bits bits, std::uint8_t* out) {
    if constexpr (O == ByteOrder::Lsb && Bytes == sizeof(Bits) && std::endian::native == std::endian::little) {
        std::memcpy(out, &bits, Bytes);
    } else {
        for (std::size_t i = 0; i < Bytes; ++i) {
            const std::size_t shift = 8 * (O == ByteOrder::Lsb ? i : Bytes - 1 - i);
            out[i] = static_cast<std::uint8_t>(bits >> shift);
        }
    }
}

// Integer types: the value shifted right by `Shift` (arithmetic, so the container
// is sign-extended), in `Bytes` bytes.
template <std::size_t Bytes, int Shift, ByteOrder O>
void layOutInteger(const SampleValue* values, std::size_t count, std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i)
        storeBytes<Bytes, O>(static_cast<std::uint32_t>(values[i] >> Shift), out + i * Bytes);
}

// Float types: full scale is +-1.0. Dividing by 2^31 is exact in double; the
// single-precision form rounds the value once, as v / 2147483648.0 stored as a
// single would.
template <typename Float, ByteOrder O>
void layOutFloat(const SampleValue* values, std::size_t count, std::uint8_t* out) {
    using Bits = std::conditional_t<sizeof(Float) == 4, std::uint32_t, std::uint64_t>;
    constexpr Float scale = Float(1) / Float(2147483648.0);
    for (std::size_t i = 0; i < count; ++i) {
        const Float sample = static_cast<Float>(values[i]) * scale;
        storeBytes<sizeof(Float), O>(std::bit_cast<Bits>(sample), out + i * sizeof(Float));
    }
}

// The writer of row `I` of the sample-type table, made from its columns; null for
// a type without a width.
template <std::size_t I>
constexpr SampleLayoutFunction layoutOfRow() {
    constexpr SampleType t = kSampleTypes[I];
    if constexpr (t.bytes == 0) {
        return nullptr;
    } else if constexpr (t.encoding == SampleEncoding::Float) {
        return layOutFloat<std::conditional_t<t.bytes == 4, float, double>, t.order>;
    } else {
        return layOutInteger<t.bytes, 32 - static_cast<int>(t.bits), t.order>;
    }
}

template <std::size_t... I>
constexpr std::array<SampleLayoutFunction, kSampleTypeCount> layoutsOf(std::index_sequence<I...>) {
    return {layoutOfRow<I>()...};
}

// One writer per row of the table, in its order.
constexpr auto kLayouts = layoutsOf(std::make_index_sequence<kSampleTypeCount>{});

}  // namespace

SampleLayoutFunction sampleLayoutFor(ASIOSampleType type) {
    const SampleType* t = findSampleType(type);
    return t != nullptr ? kLayouts[static_cast<std::size_t>(t - kSampleTypes)] : nullptr;
}

std::uint32_t sampleLayoutWidth(ASIOSampleType type) { return static_cast<std::uint32_t>(sampleWidthOf(type)); }

bool layOutSamples(ASIOSampleType type, const SampleValue* values, std::size_t count, std::uint8_t* out) {
    const SampleLayoutFunction layOut = sampleLayoutFor(type);
    if (layOut == nullptr) return false;
    layOut(values, count, out);
    return true;
}

}  // namespace asiochan
