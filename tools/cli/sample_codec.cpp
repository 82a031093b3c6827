#include "sample_codec.h"

#include <cmath>
#include <cstring>

namespace cli {

namespace {
enum class Kind { None, Int, Float32, Float64 };

struct Layout {
    Kind kind;
    int bytes;
    int shift;  // integer types: the value is stored shifted right by this much
};

// Codes below 16 are the MSB forms: the same bytes in reverse order.
bool isMsb(std::int32_t type) { return type >= 0 && type < 16; }

int byteAt(int i, int bytes, std::int32_t type) { return isMsb(type) ? bytes - 1 - i : i; }

Layout layoutOf(std::int32_t type) {
    switch (type) {
        case 0:
        case 16:
            return {Kind::Int, 2, 16};
        case 1:
        case 17:
            return {Kind::Int, 3, 8};
        case 2:
        case 18:
            return {Kind::Int, 4, 0};
        case 8:
        case 24:
            return {Kind::Int, 4, 16};
        case 9:
        case 25:
            return {Kind::Int, 4, 14};
        case 10:
        case 26:
            return {Kind::Int, 4, 12};
        case 11:
        case 27:
            return {Kind::Int, 4, 8};
        case 3:
        case 19:
            return {Kind::Float32, 4, 0};
        case 4:
        case 20:
            return {Kind::Float64, 8, 0};
        default:
            return {Kind::None, 0, 0};
    }
}

std::int32_t clipped(double v) {
    if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<std::int32_t>(v);
}
}  // namespace

int encodeSample(std::int32_t value, std::int32_t type, std::uint8_t* out) {
    const Layout l = layoutOf(type);
    std::uint64_t bits = 0;
    switch (l.kind) {
        case Kind::None:
            return 0;
        case Kind::Int:
            bits = static_cast<std::uint32_t>(value >> l.shift);
            break;
        case Kind::Float32: {
            const float f = static_cast<float>(value / 2147483648.0);
            std::uint32_t b;
            std::memcpy(&b, &f, sizeof b);
            bits = b;
            break;
        }
        case Kind::Float64: {
            const double d = value / 2147483648.0;
            std::memcpy(&bits, &d, sizeof bits);
            break;
        }
    }
    for (int i = 0; i < l.bytes; ++i) out[byteAt(i, l.bytes, type)] = static_cast<std::uint8_t>(bits >> (8 * i));
    return l.bytes;
}

std::int32_t decodeSample(const std::uint8_t* in, std::int32_t type) {
    const Layout l = layoutOf(type);
    std::uint64_t bits = 0;
    for (int i = 0; i < l.bytes; ++i) bits |= static_cast<std::uint64_t>(in[byteAt(i, l.bytes, type)]) << (8 * i);
    switch (l.kind) {
        case Kind::None:
            return 0;
        case Kind::Int: {
            // Sign-extend from the container's top bit, then back to the 32-bit range.
            const int containerBits = 8 * l.bytes;
            const std::uint32_t raw = static_cast<std::uint32_t>(bits) << (32 - containerBits);
            const std::int32_t inContainer = static_cast<std::int32_t>(raw) >> (32 - containerBits);
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(inContainer) << l.shift);
        }
        case Kind::Float32: {
            float f;
            const auto b = static_cast<std::uint32_t>(bits);
            std::memcpy(&f, &b, sizeof f);
            return clipped(std::floor(static_cast<double>(f) * 2147483648.0 + 0.5));
        }
        case Kind::Float64: {
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return clipped(std::floor(d * 2147483648.0 + 0.5));
        }
    }
    return 0;
}

void decodeUnitSamples(const std::uint8_t* in, std::size_t count, std::int32_t type, double* out) {
    const auto width = static_cast<std::size_t>(layoutOf(type).bytes);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = width == 0 ? 0.0 : decodeSample(in + i * width, type) / 2147483648.0;
}

}  // namespace cli
