#include "wav/sample_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "asiochan.h"

namespace cli {

namespace {
constexpr SampleType kSampleTypes[] = {
#define CLI_SAMPLE_ROW(id, code, name, bytes, msb, isFloat, bits) {code, name, bytes, (msb) != 0, (isFloat) != 0, bits},
    ASIOCHAN_SAMPLE_TYPES(CLI_SAMPLE_ROW)
#undef CLI_SAMPLE_ROW
};

int byteAt(int i, const SampleType& t) { return t.msbFirst ? t.bytes - 1 - i : i; }

std::int32_t clipped(double v) {
    if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<std::int32_t>(v);
}
}  // namespace

const SampleType* findSampleType(std::int32_t type) {
    for (const SampleType& t : kSampleTypes)
        if (t.code == type) return &t;
    return nullptr;
}

int encodeSample(std::int32_t value, std::int32_t type, std::uint8_t* out) {
    const SampleType* t = findSampleType(type);
    if (t == nullptr || t->bytes == 0) return 0;
    std::uint64_t bits = 0;
    if (!t->isFloat) {
        bits = static_cast<std::uint32_t>(value >> (32 - t->bits));
    } else if (t->bytes == 4) {
        const float f = static_cast<float>(value / 2147483648.0);
        std::uint32_t b;
        std::memcpy(&b, &f, sizeof b);
        bits = b;
    } else {
        const double d = value / 2147483648.0;
        std::memcpy(&bits, &d, sizeof bits);
    }
    for (int i = 0; i < t->bytes; ++i) out[byteAt(i, *t)] = static_cast<std::uint8_t>(bits >> (8 * i));
    return t->bytes;
}

std::int32_t decodeSample(const std::uint8_t* in, std::int32_t type) {
    const SampleType* t = findSampleType(type);
    if (t == nullptr || t->bytes == 0) return 0;
    std::uint64_t bits = 0;
    for (int i = 0; i < t->bytes; ++i) bits |= static_cast<std::uint64_t>(in[byteAt(i, *t)]) << (8 * i);
    if (!t->isFloat) {
        // Sign-extend from the container's top bit, then back to the 32-bit range.
        const int containerBits = 8 * t->bytes;
        const std::uint32_t raw = static_cast<std::uint32_t>(bits) << (32 - containerBits);
        const std::int32_t inContainer = static_cast<std::int32_t>(raw) >> (32 - containerBits);
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(inContainer) << (32 - t->bits));
    }
    if (t->bytes == 4) {
        float f;
        const auto b = static_cast<std::uint32_t>(bits);
        std::memcpy(&f, &b, sizeof f);
        return clipped(std::floor(static_cast<double>(f) * 2147483648.0 + 0.5));
    }
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return clipped(std::floor(d * 2147483648.0 + 0.5));
}

void decodeUnitSamples(const std::uint8_t* in, std::size_t count, std::int32_t type, double* out) {
    const SampleType* t = findSampleType(type);
    const auto width = static_cast<std::size_t>(t == nullptr ? 0 : t->bytes);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = width == 0 ? 0.0 : decodeSample(in + i * width, type) / 2147483648.0;
}

SampleFormat describeSampleType(std::int32_t type) {
    const SampleType* t = findSampleType(type);
    if (t == nullptr) return {"unknown", 0, 0, 0};
    if (t->bytes == 0) return {t->name, 0, 0, 0};
    return {t->name, t->bytes, static_cast<std::uint16_t>(t->isFloat ? 3 : 1),
            static_cast<std::uint16_t>(8 * t->bytes)};
}

void toWavLayout(std::uint8_t* samples, std::size_t count, std::int32_t type) {
    const SampleType* t = findSampleType(type);
    if (t == nullptr || t->bytes == 0) return;
    const auto width = static_cast<std::size_t>(t->bytes);
    if (t->msbFirst)
        for (std::uint8_t* at = samples; at != samples + count * width; at += width) std::reverse(at, at + width);
    const int shift = t->isFloat ? 0 : 8 * t->bytes - t->bits;
    if (shift == 0) return;
    for (std::uint8_t* at = samples; at != samples + count * width; at += width) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < width; ++i) v |= std::uint32_t{at[i]} << (8 * i);
        v <<= shift;
        for (std::size_t i = 0; i < width; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

}  // namespace cli
