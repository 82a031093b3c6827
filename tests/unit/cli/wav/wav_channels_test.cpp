#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fileplay/wav_header.h"
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

// RF64 files made by hand: the data size is the ds64 chunk's when the data chunk
// says 0xFFFFFFFF (not the RIFF size, even with a chunk after the data), and the
// data chunk's own when it gives a real 32-bit size; the command line reads each
// as the library's players do.
TEST(CliWavChannels, Rf64SizesReadAsTheLibraryReadsThem) {
    const struct {
        const char* what;
        std::uint32_t dataField;  // the data chunk's size field
        std::uint64_t ds64Data;
        bool chunkAfter;      // a LIST chunk after the samples
        std::uint64_t plays;  // bytes of samples both readers take
    } cases[] = {
        {"ds64's size, a chunk after the data", 0xFFFFFFFF, 400, true, 400},
        {"ds64's size, the data to the end", 0xFFFFFFFF, 400, false, 400},
        {"the data chunk's real size", 240, 400, true, 240},
        {"the data chunk's real size, ds64 says less", 400, 240, false, 400},
    };
    const std::string path = ::testing::TempDir() + "asiochan_rf64_sizes.wav";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> file;
        const auto put = [&file](std::uint64_t v, int bytes) {
            for (int i = 0; i < bytes; ++i) file.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        };
        const auto text = [&file](const char* t) {
            for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(t[i]));
        };
        const std::uint64_t riff = 4 + 36 + 24 + 8 + 400 + (c.chunkAfter ? 8 + 20 : 0);
        text("RF64"), put(0xFFFFFFFF, 4), text("WAVE");
        text("ds64"), put(28, 4), put(riff, 8), put(c.ds64Data, 8), put(c.ds64Data / 4, 8), put(0, 4);
        text("fmt "), put(16, 4), put(1, 2), put(2, 2), put(48000, 4), put(192000, 4), put(4, 2), put(16, 2);
        text("data"), put(c.dataField, 4);
        for (int i = 0; i < 400; ++i) file.push_back(static_cast<std::uint8_t>(i * 13 + 1));
        if (c.chunkAfter) {
            text("LIST"), put(20, 4);
            for (int i = 0; i < 20; ++i) file.push_back('x');
        }
        {
            std::FILE* f = std::fopen(path.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(file.data(), 1, file.size(), f);
            std::fclose(f);
        }
        cli::WavInfo info;
        std::string error;
        ASSERT_TRUE(cli::readWavInfo(path, &info, &error)) << error;
        asiochan::WavHeader header;
        ASSERT_TRUE(asiochan::readWavHeader(path.c_str(), header));
        EXPECT_EQ(info.dataOffset, 80u);
        EXPECT_EQ(header.dataOffset, 80);
        EXPECT_EQ(info.dataBytes, c.plays);
        EXPECT_EQ(header.dataBytes, c.plays);
    }
    std::remove(path.c_str());
}

}  // namespace
