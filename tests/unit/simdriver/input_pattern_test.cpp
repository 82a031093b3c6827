#include "simdriver/core/input_pattern.h"

#include <gtest/gtest.h>

#include <vector>

namespace asiochan {
namespace {

// The word-at-a-time fill gives the very bytes of inputPatternByte, across 256-byte
// runs, unaligned starts and ends, and the wrap of the low 32 bits.
TEST(InputPatternTest, TheFillGivesTheBytesOfThePattern) {
    struct Case {
        std::int32_t channel;
        std::uint64_t offset;
        std::size_t bytes;
    };
    const Case cases[] = {{0, 0, 4096}, {63, 4096 * 777, 4096}, {5, 3, 1}, {7, 250, 13},
                          {2, 0xfffffff0u, 600}, {1, (std::uint64_t{1} << 33) + 1, 1031}};
    for (const Case& c : cases) {
        std::vector<std::uint8_t> filled(c.bytes + 1, 0xa5);
        sim::fillInputPattern(c.channel, c.offset, filled.data(), c.bytes);
        for (std::size_t i = 0; i < c.bytes; ++i)
            ASSERT_EQ(filled[i], sim::inputPatternByte(c.channel, c.offset + i)) << c.channel << " " << c.offset << " " << i;
        EXPECT_EQ(filled[c.bytes], 0xa5) << "wrote past the end";
    }
}

}  // namespace
}  // namespace asiochan
