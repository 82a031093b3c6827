// The tiled path of the stream's conversion: a channel's block converted with
// the contiguous loop gives the same bytes as the strided one, for every type
// and format both ways; and interleaving a tile puts every sample where the
// frame layout says, at sizes that leave edges of 1 to 3 rows and columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/stream_conversion.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Bytes that cover the extremes of every type: all-ones and all-zeros words,
// sign bits, float NaN, infinities and values past full scale.
Bytes varied(std::size_t n) {
    Bytes b(n);
    std::uint32_t x = 0x9E3779B9u;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b[i] = static_cast<std::uint8_t>(x);
    }
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -3.5f,
                              1.0f, -1.0f, 0.99999994f};
    for (std::size_t i = 0; i < std::size(specials) && 4 * i + 4 <= n; ++i) std::memcpy(&b[8 * i], &specials[i], 4);
    return b;
}

TEST(StreamTileTest, ContiguousBlocksConvertLikeStridedOnes) {
    constexpr std::size_t kCount = 37;  // vector bodies and a scalar tail
    for (const SampleType& t : kSampleTypes) {
        if (t.bytes == 0) continue;
        for (auto format : {FrameFormat::Native, FrameFormat::Int32, FrameFormat::Float32}) {
            const std::size_t app = streamSampleBytes(format, t.code);
            if (app != 4) continue;
            SCOPED_TRACE(std::string(t.name) + " format " + std::to_string(static_cast<int>(format)));
            const Bytes ring = varied(kCount * t.bytes);
            Bytes packed(kCount * 4), spread(kCount * 12);
            streamDecoderFor(t.code, format)(ring.data(), kCount, packed.data(), 4);
            streamDecoderFor(t.code, format)(ring.data(), kCount, spread.data(), 12);
            for (std::size_t i = 0; i < kCount; ++i)
                ASSERT_EQ(0, std::memcmp(&packed[4 * i], &spread[12 * i], 4)) << "decoded sample " << i;

            const Bytes frames = varied(kCount * 12);
            Bytes fromPacked(kCount * t.bytes), fromSpread(kCount * t.bytes);
            Bytes gathered(kCount * 4);
            for (std::size_t i = 0; i < kCount; ++i) std::memcpy(&gathered[4 * i], &frames[12 * i], 4);
            streamEncoderFor(t.code, format)(gathered.data(), 4, kCount, fromPacked.data());
            streamEncoderFor(t.code, format)(frames.data(), 12, kCount, fromSpread.data());
            EXPECT_EQ(fromPacked, fromSpread);
        }
    }
}

TEST(StreamTileTest, InterleavingPlacesEverySampleBothWays) {
    struct Size {
        std::size_t channels, frames;
    };
    for (const Size s : {Size{1, 1}, Size{2, 3}, Size{4, 4}, Size{5, 7}, Size{7, 70}, Size{3, 33}, Size{64, 64}}) {
        SCOPED_TRACE(std::to_string(s.channels) + " channels x " + std::to_string(s.frames) + " frames");
        const std::size_t n = s.channels * s.frames;
        std::vector<std::uint32_t> tile(n), frames(n + 1, 0xDEADBEEFu), back(n + 1, 0xDEADBEEFu);
        for (std::size_t i = 0; i < n; ++i) tile[i] = static_cast<std::uint32_t>(i) | 0x7F800000u;
        interleaveWords(reinterpret_cast<const std::uint8_t*>(tile.data()), s.channels, s.frames,
                        reinterpret_cast<std::uint8_t*>(frames.data()));
        for (std::size_t f = 0; f < s.frames; ++f)
            for (std::size_t c = 0; c < s.channels; ++c)
                ASSERT_EQ(frames[f * s.channels + c], tile[c * s.frames + f]) << "frame " << f << " channel " << c;
        EXPECT_EQ(frames[n], 0xDEADBEEFu);  // nothing past the frames
        deinterleaveWords(reinterpret_cast<const std::uint8_t*>(frames.data()), s.channels, s.frames,
                          reinterpret_cast<std::uint8_t*>(back.data()));
        EXPECT_TRUE(std::equal(tile.begin(), tile.end(), back.begin()));
        EXPECT_EQ(back[n], 0xDEADBEEFu);
    }
}

}  // namespace
}  // namespace asiochan
