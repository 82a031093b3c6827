#include "engine/stream_conversion.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Each loop is written twice: once for the contiguous block of a tile, where the
// stride is a constant and the compiler vectorises it, and once for any stride.
template <std::size_t I, std::size_t Stride>
inline void decodeInt32Loop(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t stride) {
    constexpr SampleType T = kSampleTypes[I];
    if constexpr (Stride != 0) stride = Stride;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t v = valueAt<I>(in + i * T.bytes);
        std::memcpy(out + i * stride, &v, 4);
    }
}
template <std::size_t I>
void decodeInt32(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t stride) {
    if (stride == 4)
        decodeInt32Loop<I, 4>(in, count, out, stride);
    else
        decodeInt32Loop<I, 0>(in, count, out, stride);
}
template <std::size_t I, std::size_t Stride>
inline void decodeFloat32Loop(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t stride) {
    constexpr SampleType T = kSampleTypes[I];
    if constexpr (Stride != 0) stride = Stride;
    for (std::size_t i = 0; i < count; ++i) {
        const float f = floatAt<I>(in + i * T.bytes);
        std::memcpy(out + i * stride, &f, 4);
    }
}
template <std::size_t I>
void decodeFloat32(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t stride) {
    if (stride == 4)
        decodeFloat32Loop<I, 4>(in, count, out, stride);
    else
        decodeFloat32Loop<I, 0>(in, count, out, stride);
}
template <std::size_t I, std::size_t Stride>
inline void encodeInt32Loop(const std::uint8_t* in, std::size_t stride, std::size_t count, std::uint8_t* out) {
    constexpr SampleType T = kSampleTypes[I];
    if constexpr (Stride != 0) stride = Stride;
    for (std::size_t i = 0; i < count; ++i) {
        std::int32_t v;
        std::memcpy(&v, in + i * stride, 4);
        storeValue<I>(v, out + i * T.bytes);
    }
}
template <std::size_t I>
void encodeInt32(const std::uint8_t* in, std::size_t stride, std::size_t count, std::uint8_t* out) {
    if (stride == 4)
        encodeInt32Loop<I, 4>(in, stride, count, out);
    else
        encodeInt32Loop<I, 0>(in, stride, count, out);
}
template <std::size_t I, std::size_t Stride>
inline void encodeFloat32Loop(const std::uint8_t* in, std::size_t stride, std::size_t count, std::uint8_t* out) {
    constexpr SampleType T = kSampleTypes[I];
    if constexpr (Stride != 0) stride = Stride;
    for (std::size_t i = 0; i < count; ++i) {
        float f;
        std::memcpy(&f, in + i * stride, 4);
        storeFloat<I>(f, out + i * T.bytes);
    }
}
template <std::size_t I>
void encodeFloat32(const std::uint8_t* in, std::size_t stride, std::size_t count, std::uint8_t* out) {
    if (stride == 4)
        encodeFloat32Loop<I, 4>(in, stride, count, out);
    else
        encodeFloat32Loop<I, 0>(in, stride, count, out);
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

namespace {

// A block of 4 x 4 samples, rows `from` bytes apart, transposed to rows `to`
// bytes apart. The samples are moved as bits, never as numbers.
inline void transpose4(const std::uint8_t* in, std::size_t from, std::uint8_t* out, std::size_t to) {
#if defined(__SSE2__)
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + from));
    const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * from));
    const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * from));
    const __m128i a = _mm_unpacklo_epi32(r0, r1), b = _mm_unpacklo_epi32(r2, r3);
    const __m128i c = _mm_unpackhi_epi32(r0, r1), d = _mm_unpackhi_epi32(r2, r3);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi64(a, b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + to), _mm_unpackhi_epi64(a, b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * to), _mm_unpacklo_epi64(c, d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * to), _mm_unpackhi_epi64(c, d));
#else
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t k = 0; k < 4; ++k) std::memcpy(out + k * to + r * 4, in + r * from + k * 4, 4);
#endif
}

// `rows` rows of `columns` 4-byte samples, rows `from` bytes apart, transposed
// to `columns` rows `to` bytes apart: 4 x 4 blocks, then the edges one by one.
// The blocks go along the rows they are written to, so that each row written is
// filled from its start to its end.
void transposeWords(const std::uint8_t* in, std::size_t rows, std::size_t columns, std::size_t from,
                    std::uint8_t* out, std::size_t to) {
    std::size_t k = 0;
    for (; k + 4 <= columns; k += 4) {
        std::size_t r = 0;
        for (; r + 4 <= rows; r += 4) transpose4(in + r * from + k * 4, from, out + k * to + r * 4, to);
        for (; r < rows; ++r)
            for (std::size_t j = k; j < k + 4; ++j) std::memcpy(out + j * to + r * 4, in + r * from + j * 4, 4);
    }
    for (; k < columns; ++k)
        for (std::size_t r = 0; r < rows; ++r) std::memcpy(out + k * to + r * 4, in + r * from + k * 4, 4);
}

}  // namespace

void interleaveWords(const std::uint8_t* tile, std::size_t channels, std::size_t frames, std::uint8_t* out) {
    transposeWords(tile, channels, frames, frames * 4, out, channels * 4);
}

void deinterleaveWords(const std::uint8_t* in, std::size_t channels, std::size_t frames, std::uint8_t* tile) {
    transposeWords(in, frames, channels, channels * 4, tile, frames * 4);
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
