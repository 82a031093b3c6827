#include "wav/player_word.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "fileplay/sample_conversion.h"

namespace asiochan {
namespace {

// The command-line host queues file channels itself where no library player serves
// the routing: it must play the very words the players make, at every volume.
TEST(CliPlayerWord, AgreesWithThePlayersConversion) {
    const float volumes[] = {0.0f, 0.25f, 1.0f, 1.7f, 1e30f};
    for (unsigned width = 1; width <= 3; ++width) {
        const std::uint32_t count = width == 3 ? 1u << 24 : 1u << (8 * width);
        const std::uint32_t step = width == 3 ? 251 : 1;  // every 8- and 16-bit value, a spread of 24-bit ones
        for (float volume : volumes) {
            for (std::uint32_t v = 0; v < count; v += step) {
                const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                               static_cast<std::uint8_t>(v >> 16)};
                ASSERT_EQ(cli::playerWord(bytes, width, volume),
                          scaledSampleValue(fileSampleValue(bytes, width), volume, width))
                    << "width " << width << " sample " << v << " volume " << volume;
            }
        }
    }
}

// 32-bit files, which the players do not take, are queued by the host: an integer
// sample is its own word, a float one of full scale +-1.0 spans the 32-bit range;
// the volume scales it, rounded to nearest and clipped.
TEST(CliPlayerWord, WideSamplesSpanThe32BitRange) {
    const auto floatBits = [](float f) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        return bits;
    };
    const struct {
        std::uint32_t bits;
        bool isFloat;
        float volume;
        std::int32_t word;
    } cases[] = {
        {0x12345677u, false, 1.0f, 0x12345677},      {0x80000000u, false, 1.0f, INT32_MIN},
        {0x12345677u, false, 0.5f, 0x091A2B3C},      {0x40000000u, false, 3.0f, INT32_MAX},
        {floatBits(0.5f), true, 1.0f, 1 << 30},      {floatBits(-1.0f), true, 1.0f, INT32_MIN},
        {floatBits(1.0f), true, 1.0f, INT32_MAX},    {floatBits(1e-9f), true, 1.0f, 2},
        {floatBits(-0.25f), true, 0.5f, -(1 << 28)}, {0x7FC00000u, true, 1.0f, 0},  // NaN
    };
    for (const auto& c : cases) {
        const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(c.bits), static_cast<std::uint8_t>(c.bits >> 8),
                                       static_cast<std::uint8_t>(c.bits >> 16),
                                       static_cast<std::uint8_t>(c.bits >> 24)};
        EXPECT_EQ(cli::playerWord(bytes, 4, c.volume, c.isFloat), c.word)
            << std::hex << c.bits << (c.isFloat ? " float" : " integer") << " at " << c.volume;
    }
}

}  // namespace
}  // namespace asiochan
