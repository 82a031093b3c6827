#include "fileplay/sample_layout.h"

#include <bit>
#include <cstring>
#include <type_traits>

#include "driver/sample_width.h"

namespace asiochan {

namespace {

enum class Order { Lsb, Msb };

// Stores the low `Bytes` bytes of `bits` in the given byte order. Little-endian
// stores of a whole word on a little-endian machine are a plain copy.
template <std::size_t Bytes, Order O, typename Bits>
inline void storeBytes(Bits bits, std::uint8_t* out) {
    if constexpr (O == Order::Lsb && Bytes == sizeof(Bits) && std::endian::native == std::endian::little) {
        std::memcpy(out, &bits, Bytes);
    } else {
        for (std::size_t i = 0; i < Bytes; ++i) {
            const std::size_t shift = 8 * (O == Order::Lsb ? i : Bytes - 1 - i);
            out[i] = static_cast<std::uint8_t>(bits >> shift);
        }
    }
}

// Integer types: the value shifted right by `Shift` (arithmetic, so the container
// is sign-extended), in `Bytes` bytes.
template <std::size_t Bytes, int Shift, Order O>
void layOutInteger(const SampleValue* values, std::size_t count, std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i)
        storeBytes<Bytes, O>(static_cast<std::uint32_t>(values[i] >> Shift), out + i * Bytes);
}

// Float types: full scale is +-1.0. Dividing by 2^31 is exact in double; the
// single-precision form rounds the value once, as v / 2147483648.0 stored as a
// single would.
template <typename Float, Order O>
void layOutFloat(const SampleValue* values, std::size_t count, std::uint8_t* out) {
    using Bits = std::conditional_t<sizeof(Float) == 4, std::uint32_t, std::uint64_t>;
    constexpr Float scale = Float(1) / Float(2147483648.0);
    for (std::size_t i = 0; i < count; ++i) {
        const Float sample = static_cast<Float>(values[i]) * scale;
        storeBytes<sizeof(Float), O>(std::bit_cast<Bits>(sample), out + i * sizeof(Float));
    }
}

}  // namespace

SampleLayoutFunction sampleLayoutFor(ASIOSampleType type) {
    switch (type) {
        case ASIOSTInt16LSB:
            return layOutInteger<2, 16, Order::Lsb>;
        case ASIOSTInt16MSB:
            return layOutInteger<2, 16, Order::Msb>;
        case ASIOSTInt24LSB:
            return layOutInteger<3, 8, Order::Lsb>;
        case ASIOSTInt24MSB:
            return layOutInteger<3, 8, Order::Msb>;
        case ASIOSTInt32LSB:
            return layOutInteger<4, 0, Order::Lsb>;
        case ASIOSTInt32MSB:
            return layOutInteger<4, 0, Order::Msb>;
        case ASIOSTInt32LSB16:
            return layOutInteger<4, 16, Order::Lsb>;
        case ASIOSTInt32MSB16:
            return layOutInteger<4, 16, Order::Msb>;
        case ASIOSTInt32LSB18:
            return layOutInteger<4, 14, Order::Lsb>;
        case ASIOSTInt32MSB18:
            return layOutInteger<4, 14, Order::Msb>;
        case ASIOSTInt32LSB20:
            return layOutInteger<4, 12, Order::Lsb>;
        case ASIOSTInt32MSB20:
            return layOutInteger<4, 12, Order::Msb>;
        case ASIOSTInt32LSB24:
            return layOutInteger<4, 8, Order::Lsb>;
        case ASIOSTInt32MSB24:
            return layOutInteger<4, 8, Order::Msb>;
        case ASIOSTFloat32LSB:
            return layOutFloat<float, Order::Lsb>;
        case ASIOSTFloat32MSB:
            return layOutFloat<float, Order::Msb>;
        case ASIOSTFloat64LSB:
            return layOutFloat<double, Order::Lsb>;
        case ASIOSTFloat64MSB:
            return layOutFloat<double, Order::Msb>;
        default:
            return nullptr;
    }
}

std::uint32_t sampleLayoutWidth(ASIOSampleType type) {
    return sampleLayoutFor(type) != nullptr ? static_cast<std::uint32_t>(sampleWidthOf(type)) : 0;
}

bool layOutSamples(ASIOSampleType type, const SampleValue* values, std::size_t count, std::uint8_t* out) {
    const SampleLayoutFunction layOut = sampleLayoutFor(type);
    if (layOut == nullptr) return false;
    layOut(values, count, out);
    return true;
}

}  // namespace asiochan
