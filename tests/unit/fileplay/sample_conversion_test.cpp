#include "fileplay/sample_conversion.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "fileplay/wav_files.h"

namespace asiochan {
namespace {

using Bytes = std::array<std::uint8_t, 4>;

Bytes convertOne(std::vector<std::uint8_t> sample, float volume) {
    Bytes out{0xEE, 0xEE, 0xEE, 0xEE};
    const auto width = static_cast<std::uint32_t>(sample.size());
    writeOutputSample(fileSampleValue(sample.data(), width), volume, width, out.data());
    return out;
}

TEST(SampleConversion, TableOfWidthsAndVolumes) {
    struct Case {
        std::vector<std::uint8_t> sample;
        float volume;
        Bytes expected;
    };
    const Case cases[] = {
        // 8 bits: the high byte is b ^ 0x80, the low byte 0xFF below 128.
        {{0x00}, 1.0f, {0, 0, 0xFF, 0x80}},
        {{0x7F}, 1.0f, {0, 0, 0xFF, 0xFF}},
        {{0x80}, 1.0f, {0, 0, 0x00, 0x00}},
        {{0x81}, 1.0f, {0, 0, 0x00, 0x01}},
        {{0xFF}, 1.0f, {0, 0, 0x00, 0x7F}},
        {{0x00}, 0.5f, {0, 0, 0x80, 0xC0}},  // -16256.5 -> -16256
        {{0xFF}, 0.5f, {0, 0, 0x80, 0x3F}},
        {{0x00}, 0.0f, {0, 0, 0, 0}},
        {{0xFF}, 0.0f, {0, 0, 0, 0}},
        {{0x00}, 2.0f, {0, 0, 0x00, 0x80}},  // -65026 clipped to -32768
        {{0xFF}, 2.0f, {0, 0, 0xFF, 0x7F}},  // 65024 clipped to 32767
        {{0xC0}, 2.0f, {0, 0, 0xFF, 0x7F}},  // 16384 * 2 = 32768 clipped to 32767
        // 16 bits.
        {{0x34, 0x12}, 1.0f, {0, 0, 0x34, 0x12}},
        {{0x34, 0x12}, 0.5f, {0, 0, 0x1A, 0x09}},
        {{0xFD, 0xFF}, 0.5f, {0, 0, 0xFF, 0xFF}},  // -1.5 truncates to -1
        {{0x34, 0x12}, 0.0f, {0, 0, 0, 0}},
        {{0x34, 0x12}, 2.0f, {0, 0, 0x68, 0x24}},
        {{0x20, 0x4E}, 2.0f, {0, 0, 0xFF, 0x7F}},  // 20000 * 2 clipped to 32767
        {{0xE0, 0xB1}, 2.0f, {0, 0, 0x00, 0x80}},  // -20000 * 2 clipped to -32768
        {{0x00, 0x80}, 1.0f, {0, 0, 0x00, 0x80}},
        // 24 bits.
        {{0x56, 0x34, 0x12}, 1.0f, {0, 0x56, 0x34, 0x12}},
        {{0xFE, 0xFF, 0xFF}, 0.5f, {0, 0xFF, 0xFF, 0xFF}},  // -2 * 0.5 = -1
        {{0x56, 0x34, 0x12}, 0.5f, {0, 0x2B, 0x1A, 0x09}},
        {{0x56, 0x34, 0x12}, 0.0f, {0, 0, 0, 0}},
        {{0x56, 0x34, 0x12}, 2.0f, {0, 0xAC, 0x68, 0x24}},
        {{0x00, 0x00, 0x50}, 2.0f, {0, 0xFF, 0xFF, 0x7F}},  // clipped to 8388607
        {{0x00, 0x00, 0xB0}, 2.0f, {0, 0x00, 0x00, 0x80}},  // clipped to -8388608
    };
    for (const Case& c : cases) {
        EXPECT_EQ(convertOne(c.sample, c.volume), c.expected)
            << c.sample.size() << "-byte sample 0x" << std::hex
            << fileSampleValue(c.sample.data(), static_cast<std::uint32_t>(c.sample.size())) << " at volume "
            << c.volume;
    }
}

TEST(SampleConversion, ExtremeVolumesSaturateAndNaNIsSilent) {
    const float huge = std::numeric_limits<float>::max();
    EXPECT_EQ(convertOne({0x01, 0x00}, huge), (Bytes{0, 0, 0xFF, 0x7F}));
    EXPECT_EQ(convertOne({0xFF, 0xFF}, huge), (Bytes{0, 0, 0x00, 0x80}));
    EXPECT_EQ(convertOne({0x01, 0x00, 0x00}, std::numeric_limits<float>::infinity()), (Bytes{0, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(convertOne({0x34, 0x12}, std::nanf("")), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(convertOne({0x56, 0x34, 0x12}, std::nanf("")), (Bytes{0, 0, 0, 0}));
}

// The conversion one byte at a time, as a reference for the buffered converter.
std::vector<std::uint8_t> referenceConvert(const std::vector<std::uint8_t>& data, std::uint32_t width,
                                           std::uint32_t channels, std::size_t frames, float volume) {
    std::vector<std::uint8_t> out(frames * 4, 0);
    const std::size_t frameBytes = std::size_t{width} * std::max<std::uint32_t>(channels, 1);
    for (std::size_t f = 0; f < frames; ++f) {
        const std::size_t at = f * frameBytes;
        if (at + width > data.size()) break;  // missing samples stay silent
        writeOutputSample(fileSampleValue(&data[at], width), volume, width, &out[f * 4]);
    }
    return out;
}

class FrameConverterTest : public ::testing::Test {
protected:
    // Converts `frames` frames of `data` read from a file, in calls of `step` frames.
    std::vector<std::uint8_t> convertFile(const std::vector<std::uint8_t>& data, std::uint32_t width,
                                          std::uint32_t channels, std::size_t frames, std::size_t step,
                                          float volume = 1.0f) {
        const auto path = folder_.write("frames.raw", data);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        EXPECT_NE(f, nullptr);
        FrameConverter converter;
        EXPECT_TRUE(converter.init(width, channels));
        converter.reset(f);
        std::atomic<float> v{volume};
        std::vector<std::uint8_t> out(frames * 4, 0xEE);
        for (std::size_t done = 0; done < frames; done += step)
            converter.convert(out.data() + done * 4, std::min(step, frames - done), v);
        std::fclose(f);
        return out;
    }

    testing::TempFolder folder_;
};

TEST_F(FrameConverterTest, PlaysTheFirstChannelOfEveryFrame) {
    // Stereo 16 bits: left 1, 2, 3 and right -1, -2, -3.
    const auto stereo = testing::pcm16({1, -1, 2, -2, 3, -3});
    EXPECT_EQ(convertFile(stereo, 2, 2, 3, 3), (std::vector<std::uint8_t>{0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0}));
    // Five channels of 8 bits and three channels of 24 bits play their first one too.
    const std::vector<std::uint8_t> five = {0x81, 1, 2, 3, 4, 0x82, 5, 6, 7, 8};
    EXPECT_EQ(convertFile(five, 1, 5, 2, 1), (std::vector<std::uint8_t>{0, 0, 0, 1, 0, 0, 0, 2}));
    const std::vector<std::uint8_t> three = {1, 2, 3, 9, 9, 9, 9, 9, 9, 4, 5, 6, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(convertFile(three, 3, 3, 2, 2), (std::vector<std::uint8_t>{0, 1, 2, 3, 0, 4, 5, 6}));
    // A channel count of 0 counts as 1.
    EXPECT_EQ(convertFile(testing::pcm16({7, 8}), 2, 0, 2, 2), (std::vector<std::uint8_t>{0, 0, 7, 0, 0, 0, 8, 0}));
}

TEST_F(FrameConverterTest, MatchesByteByByteConversionAcrossReadChunks) {
    std::mt19937 random(7);
    struct Shape {
        std::uint32_t width, channels;
        std::size_t step;
    } shapes[] = {{1, 1, 1000}, {2, 2, 4093}, {3, 3, 50000}, {3, 7, 777}, {2, 65535, 3}};
    for (const Shape& s : shapes) {
        const std::size_t frameBytes = std::size_t{s.width} * s.channels;
        const std::size_t frames = std::max<std::size_t>(3, 300000 / frameBytes);
        std::vector<std::uint8_t> data(frames * frameBytes);
        for (auto& b : data) b = static_cast<std::uint8_t>(random());
        EXPECT_EQ(convertFile(data, s.width, s.channels, frames, s.step, 0.75f),
                  referenceConvert(data, s.width, s.channels, frames, 0.75f))
            << s.width << " bytes x " << s.channels << " channels";
    }
}

TEST_F(FrameConverterTest, EveryTargetGetsTheLayoutOfTheSameValues) {
    // The single-type shortcuts and a mix of types, each target on a file channel of
    // its own or sharing one, for every file width and a few frame sizes, with and
    // without clipping (also by an infinite volume), at a volume that is not a
    // number, across read chunks and a file that ends inside a frame.
    struct TargetWanted {
        ASIOSampleType type;
        std::uint32_t channel;  // taken modulo the file's channels
    };
    const std::vector<std::vector<TargetWanted>> targetSets = {
        {{ASIOSTInt32LSB, 0}},
        {{ASIOSTFloat32LSB, 0}},
        {{ASIOSTInt32LSB, 1}},
        {{ASIOSTFloat32LSB, 4}},
        {{ASIOSTInt16MSB, 0}, {ASIOSTFloat64LSB, 0}, {ASIOSTInt32LSB24, 0}, {ASIOSTInt24LSB, 0}},
        {{ASIOSTInt16MSB, 1}, {ASIOSTFloat64LSB, 0}, {ASIOSTInt32LSB, 4}, {ASIOSTInt32LSB, 1}}};
    std::mt19937 random(11);
    for (std::uint32_t width = 1; width <= 3; ++width) {
        for (std::uint32_t channels : {1u, 2u, 5u}) {
            const std::size_t frames = 30011;
            std::vector<std::uint8_t> data(frames * width * channels - 1);
            for (auto& b : data) b = static_cast<std::uint8_t>(random());
            const auto path = folder_.write("mix.raw", data);
            for (float volume : {0.5f, 3.0f, std::numeric_limits<float>::infinity(), std::nanf("")}) {
                // The values of each file channel (its samples start `channel` samples
                // in), made when first asked for.
                std::vector<std::vector<SampleValue>> values(channels);
                const auto valuesOf = [&](std::uint32_t channel) -> const std::vector<SampleValue>& {
                    if (values[channel].empty()) {
                        const std::vector<std::uint8_t> from(data.begin() + channel * width, data.end());
                        const auto int32lsb = referenceConvert(from, width, channels, frames, volume);
                        values[channel].resize(frames);
                        std::memcpy(values[channel].data(), int32lsb.data(), int32lsb.size());
                    }
                    return values[channel];
                };
                for (const auto& wanted : targetSets) {
                    std::vector<std::vector<std::uint8_t>> blocks;
                    for (const TargetWanted& one : wanted)
                        blocks.emplace_back(frames * sampleLayoutWidth(one.type), 0xEE);
                    std::FILE* f = std::fopen(path.c_str(), "rb");
                    FrameConverter converter;
                    ASSERT_TRUE(converter.init(width, channels));
                    converter.reset(f);
                    const std::atomic<float> v{volume};
                    for (std::size_t done = 0; done < frames; done += 7000) {
                        std::vector<FrameConverter::Target> targets;
                        for (std::size_t t = 0; t < wanted.size(); ++t)
                            targets.push_back({wanted[t].type, blocks[t].data() + done * sampleLayoutWidth(wanted[t].type),
                                               wanted[t].channel % channels});
                        const std::size_t n = std::min<std::size_t>(7000, frames - done);
                        EXPECT_TRUE(converter.convertInto(targets.data(), targets.size(), n, v));
                    }
                    std::fclose(f);
                    for (std::size_t t = 0; t < wanted.size(); ++t) {
                        std::vector<std::uint8_t> expected(blocks[t].size());
                        layOutSamples(wanted[t].type, valuesOf(wanted[t].channel % channels).data(), frames,
                                      expected.data());
                        EXPECT_EQ(blocks[t], expected) << width << " bytes x " << channels << " channels, volume "
                                                       << volume << ", type " << wanted[t].type << " of channel "
                                                       << wanted[t].channel % channels;
                    }
                }
            }
        }
    }
    // A type without a width, or a channel the file does not have, is refused before
    // anything is read or written.
    FrameConverter converter;
    ASSERT_TRUE(converter.init(2, 2));
    std::uint8_t out[4] = {0xEE};
    const FrameConverter::Target badType[] = {{ASIOSTInt32LSB, out}, {ASIOSTDSDInt8LSB1, out}};
    EXPECT_FALSE(converter.convertInto(badType, 2, 1, std::atomic<float>{1.0f}));
    const FrameConverter::Target badChannel[] = {{ASIOSTInt32LSB, out, 1}, {ASIOSTInt32LSB, out, 2}};
    EXPECT_FALSE(converter.convertInto(badChannel, 2, 1, std::atomic<float>{1.0f}));
    EXPECT_EQ(out[0], 0xEE);
}

TEST_F(FrameConverterTest, FramesBeyondTheEndOfTheFileAreSilent) {
    // Stereo 16 bits: two whole frames, then a frame cut after its first sample (10
    // bytes) or inside it (9 bytes); the cut frame plays only a whole first sample.
    const std::vector<std::uint8_t> data = {0x10, 0, 0x11, 0, 0x20, 0, 0x21, 0, 0x30, 0};
    for (const std::size_t length : {10, 9}) {
        const std::vector<std::uint8_t> cut(data.begin(), data.begin() + static_cast<long>(length));
        EXPECT_EQ(convertFile(cut, 2, 2, 6, 4), referenceConvert(cut, 2, 2, 6, 1.0f)) << length << " bytes";
    }
    EXPECT_EQ(convertFile(data, 2, 2, 4, 4), (std::vector<std::uint8_t>{0, 0, 0x10, 0, 0, 0, 0x20, 0,  //
                                                                        0, 0, 0x30, 0, 0, 0, 0, 0}));
    // An 8-bit file's silence is 0, not the converted value of a zero byte.
    EXPECT_EQ(convertFile({}, 1, 1, 2, 2), std::vector<std::uint8_t>(8, 0));
}

TEST_F(FrameConverterTest, RefusesWidthsItCannotConvert) {
    FrameConverter converter;
    EXPECT_FALSE(converter.init(0, 1));
    EXPECT_FALSE(converter.init(4, 1));
    EXPECT_TRUE(converter.init(3, 2));
    EXPECT_EQ(converter.frameBytes(), 6u);
}

}  // namespace
}  // namespace asiochan
