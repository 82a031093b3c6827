#include "engine/stream_conversion.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

namespace asiochan {

namespace {

template <std::size_t Bytes, ByteOrder O>
inline std::uint64_t loadBytes(const std::uint8_t* in) {
    // A whole little-endian word on a little-endian machine is a plain load.
    if constexpr (O == ByteOrder::Lsb && (Bytes == 4 || Bytes == 8) && std::endian::native == std::endian::little) {
        std::conditional_t<Bytes == 4, std::uint32_t, std::uint64_t> word;
        std::memcpy(&word, in, Bytes);
        return word;
    }
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < Bytes; ++i) {
        const std::size_t shift = 8 * (O == ByteOrder::Lsb ? i : Bytes - 1 - i);
        v |= std::uint64_t{in[i]} << shift;
    }
    return v;
}

template <std::size_t Bytes, ByteOrder O>
inline void storeBytes(std::uint64_t v, std::uint8_t* out) {
    if constexpr (O == ByteOrder::Lsb && (Bytes == 4 || Bytes == 8) && std::endian::native == std::endian::little) {
        const auto word = static_cast<std::conditional_t<Bytes == 4, std::uint32_t, std::uint64_t>>(v);
        std::memcpy(out, &word, Bytes);
        return;
    }
    for (std::size_t i = 0; i < Bytes; ++i) {
        const std::size_t shift = 8 * (O == ByteOrder::Lsb ? i : Bytes - 1 - i);
        out[i] = static_cast<std::uint8_t>(v >> shift);
    }
}

// A float of full scale +-1.0 as a value of `Bits` bits, low in the word: f x
// 2^(Bits-1) rounded to nearest at those bits, clipped, NaN as 0.
template <std::uint32_t Bits>
inline std::int32_t floatToBits(double f) {
    constexpr double kScale = static_cast<double>(std::uint64_t{1} << (Bits - 1));
    const double scaled = f * kScale;
    if (!(scaled == scaled)) return 0;
    if (scaled >= kScale - 1.0) return static_cast<std::int32_t>(kScale - 1.0);
    if (scaled <= -kScale) return static_cast<std::int32_t>(-kScale);
    return static_cast<std::int32_t>(std::nearbyint(scaled));
}

inline std::int32_t floatToValue(double f) { return floatToBits<32>(f); }

// A float as a float channel of the application's formats takes it: within full
// scale, NaN as 0.
inline double cleanFloat(double f) {
    if (!(f == f)) return 0.0;
    return f > 1.0 ? 1.0 : (f < -1.0 ? -1.0 : f);
}

inline float valueToFloat(std::int32_t v) { return static_cast<float>(v) * (1.0f / 2147483648.0f); }

// The sample of row `T` at `in` as a 32-bit value, or as a float.
template <std::size_t I>
inline std::int32_t valueAt(const std::uint8_t* in) {
    constexpr SampleType T = kSampleTypes[I];
    if constexpr (T.encoding == SampleEncoding::Float) {
        using Bits = std::conditional_t<T.bytes == 4, std::uint32_t, std::uint64_t>;
        using Float = std::conditional_t<T.bytes == 4, float, double>;
        return floatToValue(std::bit_cast<Float>(static_cast<Bits>(loadBytes<T.bytes, T.order>(in))));
    } else {
        // The significant bits, low in the sample, to the top of the word.
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(loadBytes<T.bytes, T.order>(in)) << (32 - T.bits));
    }
}

template <std::size_t I>
inline float floatAt(const std::uint8_t* in) {
    constexpr SampleType T = kSampleTypes[I];
    if constexpr (T.encoding == SampleEncoding::Float) {
        using Bits = std::conditional_t<T.bytes == 4, std::uint32_t, std::uint64_t>;
        using Float = std::conditional_t<T.bytes == 4, float, double>;
        const Float f = std::bit_cast<Float>(static_cast<Bits>(loadBytes<T.bytes, T.order>(in)));
        // A Float32 channel's samples are the application's as they are.
        if constexpr (T.bytes == 4) return f;
        return static_cast<float>(cleanFloat(f));
    } else {
        return valueToFloat(valueAt<I>(in));
    }
}

template <std::size_t I>
inline void storeValue(std::int32_t v, std::uint8_t* out) {
    constexpr SampleType T = kSampleTypes[I];
    if constexpr (T.encoding == SampleEncoding::Float) {
        using Bits = std::conditional_t<T.bytes == 4, std::uint32_t, std::uint64_t>;
        using Float = std::conditional_t<T.bytes == 4, float, double>;
        const Float f = static_cast<Float>(v) * (Float(1) / Float(2147483648.0));
        storeBytes<T.bytes, T.order>(std::bit_cast<Bits>(f), out);
    } else {
        storeBytes<T.bytes, T.order>(static_cast<std::uint32_t>(v >> (32 - T.bits)), out);
    }
}

template <std::size_t I>
inline void storeFloat(float f, std::uint8_t* out) {
    constexpr SampleType T = kSampleTypes[I];
    if constexpr (T.encoding == SampleEncoding::Float) {
        // A Float32 channel takes the application's bytes; a Float64 one the value
        // within full scale.
        if constexpr (T.bytes == 4)
            storeBytes<T.bytes, T.order>(std::bit_cast<std::uint32_t>(f), out);
        else
            storeBytes<T.bytes, T.order>(std::bit_cast<std::uint64_t>(cleanFloat(f)), out);
    } else {
        // Rounded at the channel's own bits, not at 32 and then cut.
        storeBytes<T.bytes, T.order>(static_cast<std::uint32_t>(floatToBits<T.bits>(f)), out);
    }
}

template <std::size_t Bytes>
void decodeNative(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t stride) {
    for (std::size_t i = 0; i < count; ++i) std::memcpy(out + i * stride, in + i * Bytes, Bytes);
}
template <std::size_t Bytes>
void encodeNative(const std::uint8_t* in, std::size_t stride, std::size_t count, std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i) std::memcpy(out + i * Bytes, in + i * stride, Bytes);
}

template <std::size_t I>
void decodeInt32(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t stride) {
    constexpr SampleType T = kSampleTypes[I];
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t v = valueAt<I>(in + i * T.bytes);
        std::memcpy(out + i * stride, &v, 4);
    }
}
template <std::size_t I>
void decodeFloat32(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t stride) {
    constexpr SampleType T = kSampleTypes[I];
    for (std::size_t i = 0; i < count; ++i) {
        const float f = floatAt<I>(in + i * T.bytes);
        std::memcpy(out + i * stride, &f, 4);
    }
}
template <std::size_t I>
void encodeInt32(const std::uint8_t* in, std::size_t stride, std::size_t count, std::uint8_t* out) {
    constexpr SampleType T = kSampleTypes[I];
    for (std::size_t i = 0; i < count; ++i) {
        std::int32_t v;
        std::memcpy(&v, in + i * stride, 4);
        storeValue<I>(v, out + i * T.bytes);
    }
}
template <std::size_t I>
void encodeFloat32(const std::uint8_t* in, std::size_t stride, std::size_t count, std::uint8_t* out) {
    constexpr SampleType T = kSampleTypes[I];
    for (std::size_t i = 0; i < count; ++i) {
        float f;
        std::memcpy(&f, in + i * stride, 4);
        storeFloat<I>(f, out + i * T.bytes);
    }
}

struct Row {
    StreamDecode decode[3];
    StreamEncode encode[3];
};

template <std::size_t I>
constexpr Row rowOf() {
    constexpr SampleType t = kSampleTypes[I];
    if constexpr (t.bytes == 0) {
        return Row{{nullptr, nullptr, nullptr}, {nullptr, nullptr, nullptr}};
    } else {
        return Row{{decodeNative<t.bytes>, decodeInt32<I>, decodeFloat32<I>},
                   {encodeNative<t.bytes>, encodeInt32<I>, encodeFloat32<I>}};
    }
}

template <std::size_t... I>
constexpr std::array<Row, kSampleTypeCount> rowsOf(std::index_sequence<I...>) {
    return {rowOf<I>()...};
}

constexpr auto kRows = rowsOf(std::make_index_sequence<kSampleTypeCount>{});

const Row* rowFor(ASIOSampleType type, FrameFormat format) {
    const auto f = static_cast<std::int32_t>(format);
    if (f < 0 || f > 2) return nullptr;
    const SampleType* t = findSampleType(type);
    return t != nullptr ? &kRows[static_cast<std::size_t>(t - kSampleTypes)] : nullptr;
}

}  // namespace

std::uint32_t streamSampleBytes(FrameFormat format, ASIOSampleType type) {
    return format == FrameFormat::Native ? static_cast<std::uint32_t>(sampleWidthOf(type)) : 4u;
}

StreamDecode streamDecoderFor(ASIOSampleType type, FrameFormat format) {
    const Row* r = rowFor(type, format);
    return r ? r->decode[static_cast<std::int32_t>(format)] : nullptr;
}

StreamEncode streamEncoderFor(ASIOSampleType type, FrameFormat format) {
    const Row* r = rowFor(type, format);
    return r ? r->encode[static_cast<std::int32_t>(format)] : nullptr;
}

}  // namespace asiochan
