#include "wav/sample_codec.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fileplay/sample_layout.h"

namespace asiochan {
namespace {

// The command-line host checks a loopback with its own codec; it must agree byte
// for byte with what the players write, in both byte orders, and read back what
// it wrote.
TEST(CliSampleCodec, AgreesWithThePlayersLayoutInEveryType) {
    const SampleValue values[] = {0x12345678, INT32_MIN, 0x7FFFFFFF, 256, -256, 1 << 16, -(1 << 16)};
    for (int type = 0; type <= 40; ++type) {
        const auto t = static_cast<ASIOSampleType>(type);
        for (SampleValue v : values) {
            std::uint8_t expected[8] = {}, got[8] = {}, again[8] = {};
            const bool known = layOutSamples(t, &v, 1, expected);
            const int width = cli::encodeSample(v, type, got);
            ASSERT_EQ(width, known ? static_cast<int>(sampleLayoutWidth(t)) : 0) << "type " << type;
            EXPECT_EQ(std::memcmp(expected, got, static_cast<std::size_t>(width)), 0)
                << "type " << type << " value " << v;
            cli::encodeSample(cli::decodeSample(got, type), type, again);
            EXPECT_EQ(std::memcmp(got, again, static_cast<std::size_t>(width)), 0) << "type " << type << " value " << v;
        }
    }
}

}  // namespace
}  // namespace asiochan
