// Every sample type with a width, through NATIVE, INT32 and FLOAT32, both ways:
// the bytes of one half of full scale in each type, the way back, clipping and
// NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/stream_conversion.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Row {
    ASIOSampleType type;
    Bytes half;  // +0.5 of full scale, 0x40000000 as a 32-bit value
};

const Row kRows[] = {
    {ASIOSTInt16MSB, {0x40, 0x00}},
    {ASIOSTInt24MSB, {0x40, 0x00, 0x00}},
    {ASIOSTInt32MSB, {0x40, 0x00, 0x00, 0x00}},
    {ASIOSTFloat32MSB, {0x3F, 0x00, 0x00, 0x00}},
    {ASIOSTFloat64MSB, {0x3F, 0xE0, 0, 0, 0, 0, 0, 0}},
    {ASIOSTInt32MSB16, {0x00, 0x00, 0x40, 0x00}},
    {ASIOSTInt32MSB18, {0x00, 0x01, 0x00, 0x00}},
    {ASIOSTInt32MSB20, {0x00, 0x04, 0x00, 0x00}},
    {ASIOSTInt32MSB24, {0x00, 0x40, 0x00, 0x00}},
    {ASIOSTInt16LSB, {0x00, 0x40}},
    {ASIOSTInt24LSB, {0x00, 0x00, 0x40}},
    {ASIOSTInt32LSB, {0x00, 0x00, 0x00, 0x40}},
    {ASIOSTFloat32LSB, {0x00, 0x00, 0x00, 0x3F}},
    {ASIOSTFloat64LSB, {0, 0, 0, 0, 0, 0, 0xE0, 0x3F}},
    {ASIOSTInt32LSB16, {0x00, 0x40, 0x00, 0x00}},
    {ASIOSTInt32LSB18, {0x00, 0x00, 0x01, 0x00}},
    {ASIOSTInt32LSB20, {0x00, 0x00, 0x04, 0x00}},
    {ASIOSTInt32LSB24, {0x00, 0x00, 0x40, 0x00}},
};

template <typename T>
Bytes encode(ASIOSampleType type, FrameFormat format, T value) {
    Bytes out(static_cast<std::size_t>(sampleWidthOf(type)));
    streamEncoderFor(type, format)(reinterpret_cast<const std::uint8_t*>(&value), sizeof value, 1, out.data());
    return out;
}

template <typename T>
T decode(ASIOSampleType type, FrameFormat format, const Bytes& in) {
    T value{};
    streamDecoderFor(type, format)(in.data(), 1, reinterpret_cast<std::uint8_t*>(&value), sizeof value);
    return value;
}

TEST(StreamConversionTest, EveryTypeThroughEveryFormatBothWays) {
    static_assert(std::size(kRows) == kTypesWithWidth, "one row per type with a width");
    for (const Row& r : kRows) {
        const SampleType& t = *findSampleType(r.type);
        SCOPED_TRACE(t.name);
        const bool isFloat = t.encoding == SampleEncoding::Float;
        EXPECT_EQ(encode(r.type, FrameFormat::Int32, std::int32_t{0x40000000}), r.half);
        EXPECT_EQ(encode(r.type, FrameFormat::Float32, 0.5f), r.half);
        EXPECT_EQ(decode<std::int32_t>(r.type, FrameFormat::Int32, r.half), 0x40000000);
        EXPECT_EQ(decode<float>(r.type, FrameFormat::Float32, r.half), 0.5f);
        EXPECT_EQ(streamSampleBytes(FrameFormat::Native, r.type), r.half.size());
        Bytes native(r.half.size());
        streamDecoderFor(r.type, FrameFormat::Native)(r.half.data(), 1, native.data(), native.size());
        EXPECT_EQ(native, r.half);
        // Negative values keep their sign through the low-justified containers.
        EXPECT_EQ(decode<std::int32_t>(r.type, FrameFormat::Int32, encode(r.type, FrameFormat::Int32, -0x40000000)),
                  -0x40000000);
        EXPECT_EQ(decode<float>(r.type, FrameFormat::Float32, encode(r.type, FrameFormat::Float32, -0.25f)), -0.25f);
        if (isFloat) continue;
        // Integers: floats past full scale clip, NaN is silence, the low bits go.
        const std::int32_t top = static_cast<std::int32_t>(0x7FFFFFFFu >> (32 - t.bits) << (32 - t.bits));
        EXPECT_EQ(decode<std::int32_t>(r.type, FrameFormat::Int32, encode(r.type, FrameFormat::Float32, 2.0f)), top);
        EXPECT_EQ(decode<std::int32_t>(r.type, FrameFormat::Int32, encode(r.type, FrameFormat::Float32, -2.0f)),
                  INT32_MIN);
        EXPECT_EQ(decode<std::int32_t>(r.type, FrameFormat::Int32, encode(r.type, FrameFormat::Float32, NAN)), 0);
        EXPECT_EQ(decode<std::int32_t>(r.type, FrameFormat::Int32, encode(r.type, FrameFormat::Int32, INT32_MAX)), top);
    }
}

// FLOAT32 to integers: f x 2^(bits-1) rounded to nearest at the channel's own
// bits (not at 32 bits and then cut), clipped, NaN as 0; Float64 channels are
// clipped and cleaned too, both ways; Float32 channels are byte copies.
TEST(StreamConversionTest, FloatsRoundAtTheChannelsBitsAndAreCleanOnEveryPath) {
    const float lsb16 = 1.0f / 32768, lsb24 = 1.0f / 8388608;
    const struct {
        float in;
        std::int32_t int16, int24, int32;
    } rows[] = {
        {0.75f, 0x6000, 0x600000, 0x60000000},
        {-0.75f, -0x6000, -0x600000, -0x60000000},
        {0.9f * lsb16, 1, 230, 58982},  // 0.9 LSB at 16 bits: 1, where a cut at 32 bits gives 0
        {-0.1f * lsb16, 0, -26, -6554},  // -0.1 LSB: 0, where a cut gives -1
        {-0.6f * lsb24, 0, -1, -154},
        {0.999999f, 0x7FFF, 0x7FFFF8, 2147481472},
        {1.0f, 0x7FFF, 0x7FFFFF, INT32_MAX},
        {-1.0f, -0x8000, -0x800000, INT32_MIN},
        {2.0f, 0x7FFF, 0x7FFFFF, INT32_MAX},
        {NAN, 0, 0, 0},
    };
    auto value = [](const Bytes& b) {  // little-endian, sign-extended
        std::int32_t v = 0;
        for (std::size_t i = 0; i < b.size(); ++i) v |= std::int32_t{b[i]} << (8 * i);
        return b.size() == 4 ? v : (v << (32 - 8 * b.size())) >> (32 - 8 * b.size());
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.in);
        EXPECT_EQ(value(encode(ASIOSTInt16LSB, FrameFormat::Float32, r.in)), r.int16);
        EXPECT_EQ(value(encode(ASIOSTInt32LSB16, FrameFormat::Float32, r.in)), r.int16);
        EXPECT_EQ(value(encode(ASIOSTInt24LSB, FrameFormat::Float32, r.in)), r.int24);
        EXPECT_EQ(value(encode(ASIOSTInt32LSB, FrameFormat::Float32, r.in)), r.int32);
    }
    const struct {
        double in, out;
    } floats[] = {{2.0, 1.0}, {-3.0, -1.0}, {NAN, 0.0}, {-0.25, -0.25}};
    for (const auto& r : floats) {
        SCOPED_TRACE(r.in);
        double d;
        const Bytes written = encode(ASIOSTFloat64LSB, FrameFormat::Float32, static_cast<float>(r.in));
        std::memcpy(&d, written.data(), 8);
        EXPECT_EQ(d, r.out);
        Bytes raw(8);
        std::memcpy(raw.data(), &r.in, 8);
        EXPECT_EQ(decode<float>(ASIOSTFloat64LSB, FrameFormat::Float32, raw), static_cast<float>(r.out));
    }
    const Bytes nan = encode(ASIOSTFloat32LSB, FrameFormat::Float32, NAN);
    EXPECT_TRUE(std::isnan(decode<float>(ASIOSTFloat32LSB, FrameFormat::Float32, nan))) << "a byte copy";
}

}  // namespace
}  // namespace asiochan
