#include "player_word.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace asiochan
