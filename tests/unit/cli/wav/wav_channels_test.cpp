#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "wav/wav_file.h"
#include "wav/wav_writer.h"

namespace {

// An aligned capture is written channel by channel into one interleaved file; the
// host's queueing reads it back in frames from any place.
TEST(CliWavChannels, WritesInterleavedAndReadsFramesBack) {
    const std::string path = ::testing::TempDir() + "asiochan_wav_channels.wav";
    std::vector<std::vector<std::uint8_t>> channels(3);
    for (std::size_t c = 0; c < channels.size(); ++c)
        for (std::size_t i = 0; i < 2 * 40000; ++i) channels[c].push_back(static_cast<std::uint8_t>(i * 7 + c * 100));
    const std::uint8_t* sources[] = {channels[0].data(), channels[1].data(), channels[2].data()};
    cli::WavWriter writer;
    ASSERT_TRUE(writer.open(path, {1, 3, 48000, 16}, false) && writer.writeChannels(sources, 0, 40000) &&
                writer.close())
        << writer.error();
    std::string error;
    cli::WavInfo info;
    ASSERT_TRUE(cli::readWavInfo(path, &info, &error)) << error;
    EXPECT_EQ(info.channels, 3);
    EXPECT_EQ(info.frames(), 40000u);
    std::vector<std::uint8_t> frames;
    // From the middle of the file over its end: the frames past it read as silence.
    ASSERT_TRUE(cli::readFrames(path, info, 39990, 20, &frames));
    ASSERT_EQ(frames.size(), 20u * 6);
    for (std::size_t f = 0; f < 20; ++f)
        for (std::size_t c = 0; c < 3; ++c)
            for (std::size_t b = 0; b < 2; ++b)
                EXPECT_EQ(frames[f * 6 + c * 2 + b], f < 10 ? channels[c][(39990 + f) * 2 + b] : 0)
                    << "frame " << f << " channel " << c;
    std::remove(path.c_str());
}

}  // namespace
