#include "streaming/playback_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "wav/player_word.h"
#include "wav/wav_file.h"

namespace {

// Frame k of the file, channel c: a value that tells both apart in every format.
std::vector<std::uint8_t> fileBytes(unsigned bits, bool isFloat, unsigned channels, unsigned frames) {
    std::vector<std::uint8_t> bytes;
    for (unsigned k = 0; k < frames; ++k)
        for (unsigned c = 0; c < channels; ++c) {
            std::uint8_t sample[4];
            if (isFloat) {
                const float f = 0.01f * static_cast<float>(k * channels + c + 1);
                std::memcpy(sample, &f, 4);
            } else {
                const std::uint32_t v = (k * channels + c + 1) * 0x01010101u;
                std::memcpy(sample, &v, 4);
            }
            bytes.insert(bytes.end(), sample, sample + bits / 8);
        }
    return bytes;
}

// A file's frames through a stream: route i's file channel in slot i of every
// frame, as the players' words (floats for float files) at the volume, from any
// place, round and round when looping, and no further than the end otherwise.
TEST(CliPlaybackFrames, EachSlotHoldsItsRoutesFileChannelFromThePlaceAsked) {
    constexpr unsigned kChannels = 3, kFrames = 7;
    const struct {
        unsigned bits;
        bool isFloat, asFloats, loop;
        float volume;
        std::uint64_t at;
        std::size_t count, filled;
    } cases[] = {
        {8, false, false, false, 1.0f, 0, 4, 4},  {16, false, false, true, 1.0f, 5, 10, 10},
        {24, false, true, false, 0.5f, 5, 10, 2}, {32, false, false, true, 0.25f, 13, 3, 3},
        {32, true, true, false, 0.5f, 1, 3, 3},   {32, true, false, false, 1.0f, 1, 3, 3},
        {16, false, false, false, 1.0f, 7, 3, 0},
    };
    const std::string path = ::testing::TempDir() + "playback_frames.wav";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + (c.isFloat ? " float" : " bits") + (c.asFloats ? " as floats" : "") +
                     " from " + std::to_string(c.at));
        const auto bytes = fileBytes(c.bits, c.isFloat, kChannels, kFrames);
        std::string error;
        ASSERT_TRUE(cli::writeWav(path, c.isFloat ? 3 : 1, 48000, static_cast<std::uint16_t>(c.bits), bytes, &error,
                                  kChannels))
            << error;
        cli::PlaybackPlan plan;
        plan.file = path;
        ASSERT_TRUE(cli::readWavInfo(path, &plan.wav, &error)) << error;
        plan.routes = {{2, 5}, {0, 1}};
        plan.loop = c.loop;
        plan.volume = c.volume;
        cli::PlaybackFrames frames(plan, c.asFloats);
        std::vector<std::uint8_t> out(c.count * frames.frameBytes(), 0xEE);
        ASSERT_EQ(frames.fill(c.at, c.count, out.data(), &error), static_cast<std::int64_t>(c.filled));
        const unsigned width = c.bits / 8;
        for (std::size_t i = 0; i < c.filled; ++i)
            for (std::size_t slot = 0; slot < 2; ++slot) {
                const std::size_t k = (c.at + i) % kFrames;
                const std::uint8_t* sample = &bytes[(k * kChannels + plan.routes[slot].fileChannel) * width];
                std::uint8_t want[4];
                const std::int32_t word = cli::playerWord(sample, width, c.volume, c.isFloat);
                float f = static_cast<float>(word / 2147483648.0);
                if (c.isFloat && c.asFloats) {
                    std::memcpy(&f, sample, 4);
                    f *= c.volume;
                }
                std::memcpy(want, c.asFloats ? static_cast<const void*>(&f) : &word, 4);
                EXPECT_EQ(std::memcmp(&out[(i * 2 + slot) * 4], want, 4), 0) << "frame " << i << " slot " << slot;
            }
        EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(c.filled * frames.frameBytes()), out.end(),
                                [](std::uint8_t b) { return b == 0xEE; }))
            << "written past the frames filled";
    }
    std::remove(path.c_str());
}

}  // namespace
