#include "fileplay/sample_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Full scale positive and negative, 1, -1, and the value a 16-bit file saturates to.
const SampleValue kValues[] = {0x7FFFFFFF, INT32_MIN, 1, -1, 0x7FFF0000};

TEST(SampleLayout, ChosenValuesInEveryType) {
    struct Case {
        ASIOSampleType lsb, msb;
        std::uint32_t width;
        Bytes expected;  // the five values, least significant byte first
    };
    const Case cases[] = {
        {ASIOSTInt16LSB, ASIOSTInt16MSB, 2, {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x7F}},
        {ASIOSTInt24LSB,
         ASIOSTInt24MSB,
         3,
         {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0x7F}},
        {ASIOSTInt32LSB, ASIOSTInt32MSB, 4, {0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80, 0x01, 0x00,
                                             0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x7F}},
        {ASIOSTInt32LSB16, ASIOSTInt32MSB16, 4, {0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00,
                                                 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00}},
        {ASIOSTInt32LSB18, ASIOSTInt32MSB18, 4, {0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0x00, 0x00,
                                                 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0xFF, 0x01, 0x00}},
        {ASIOSTInt32LSB20, ASIOSTInt32MSB20, 4, {0xFF, 0xFF, 0x07, 0x00, 0x00, 0x00, 0xF8, 0xFF, 0x00, 0x00,
                                                 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0x07, 0x00}},
        {ASIOSTInt32LSB24, ASIOSTInt32MSB24, 4, {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80, 0xFF, 0x00, 0x00,
                                                 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0x7F, 0x00}},
        // 1.0 (rounded up from just below), -1.0, +-2^-31 and 1 - 2^-15.
        {ASIOSTFloat32LSB, ASIOSTFloat32MSB, 4, {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x80, 0xBF, 0x00, 0x00,
                                                 0x00, 0x30, 0x00, 0x00, 0x00, 0xB0, 0x00, 0xFE, 0x7F, 0x3F}},
        // Exact in double: 1 - 2^-31, -1.0, +-2^-31 and 1 - 2^-15.
        {ASIOSTFloat64LSB, ASIOSTFloat64MSB, 8, {0x00, 0x00, 0xC0, 0xFF, 0xFF, 0xFF, 0xEF, 0x3F, 0x00, 0x00,
                                                 0x00, 0x00, 0x00, 0x00, 0xF0, 0xBF, 0x00, 0x00, 0x00, 0x00,
                                                 0x00, 0x00, 0x00, 0x3E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0x00, 0xBE, 0x00, 0x00, 0x00, 0x00, 0xC0, 0xFF, 0xEF, 0x3F}},
    };
    constexpr std::size_t kCount = std::size(kValues);
    for (const Case& c : cases) {
        // The MSB form holds each sample's bytes reversed.
        Bytes reversed = c.expected;
        for (std::size_t i = 0; i < kCount; ++i)
            std::reverse(reversed.begin() + i * c.width, reversed.begin() + (i + 1) * c.width);
        for (const auto& [type, expected] : {std::pair{c.lsb, c.expected}, std::pair{c.msb, reversed}}) {
            EXPECT_EQ(sampleLayoutWidth(type), c.width) << "type " << type;
            Bytes out(kCount * c.width + 1, 0xEE);  // one guard byte
            EXPECT_TRUE(layOutSamples(type, kValues, kCount, out.data())) << "type " << type;
            EXPECT_EQ(Bytes(out.begin(), out.end() - 1), expected) << "type " << type;
            EXPECT_EQ(out.back(), 0xEE) << "type " << type;
        }
    }
}

TEST(SampleLayout, TypesWithoutAWidthAreRefused) {
    for (ASIOSampleType type : {ASIOSampleType{ASIOSTDSDInt8LSB1}, ASIOSampleType{ASIOSTDSDInt8MSB1},
                                ASIOSampleType{ASIOSTDSDInt8NER8}, 5, 21, 28, 41, -1}) {
        EXPECT_EQ(sampleLayoutWidth(type), 0u) << "type " << type;
        EXPECT_EQ(sampleLayoutFor(type), nullptr) << "type " << type;
        std::uint8_t out[8] = {0xEE};
        EXPECT_FALSE(layOutSamples(type, kValues, 1, out)) << "type " << type;
        EXPECT_EQ(out[0], 0xEE);
    }
}

}  // namespace
}  // namespace asiochan
