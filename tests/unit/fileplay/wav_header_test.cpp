#include "fileplay/wav_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fileplay/wav_files.h"
#include "support/open_files.h"

namespace asiochan {
namespace {

using testing::TempFolder;
using testing::wavBytes;
using testing::WavFormat;

// Reads the header of `path`, returning the result and what was printed.
std::pair<bool, std::string> readCapturing(const std::string& path, WavHeader& header) {
    ::testing::internal::CaptureStdout();
    const bool ok = readWavHeader(path.c_str(), header);
    return {ok, ::testing::internal::GetCapturedStdout()};
}

class WavHeaderTest : public ::testing::Test {
protected:
    // Every path of the reader, failures included, closes the file.
    void TearDown() override { EXPECT_EQ(testing::openDescriptors(), descriptorsAtStart_) << "a file was left open"; }

    TempFolder folder_;
    const std::ptrdiff_t descriptorsAtStart_ = testing::openDescriptors();
};

TEST_F(WavHeaderTest, CanonicalHeaderGivesEveryField) {
    const WavFormat format{2, 44100, 24};
    const auto path = folder_.write("canonical.wav", wavBytes(format, std::vector<std::uint8_t>(600, 7)));
    WavHeader h;
    const auto [ok, printed] = readCapturing(path, h);
    ASSERT_TRUE(ok);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(std::memcmp(h.riff, "RIFF", 4), 0);
    EXPECT_EQ(h.size, 36u + 600u);
    EXPECT_EQ(std::memcmp(h.wave_flag, "WAVE", 4), 0);
    EXPECT_EQ(std::memcmp(h.fmt, "fmt ", 4), 0);
    EXPECT_EQ(h.fmt_len, 16u);
    EXPECT_EQ(h.tag, 1u);
    EXPECT_EQ(h.channels, 2u);
    EXPECT_EQ(h.samp_freq, 44100u);
    EXPECT_EQ(h.byte_rate, 44100u * 6);
    EXPECT_EQ(h.byte_samp, 6u);
    EXPECT_EQ(h.bit_samp, 24u);
    EXPECT_EQ(std::memcmp(h.data, "data", 4), 0);
    EXPECT_EQ(h.length, 600u);
    EXPECT_EQ(h.dataOffset, 44);
    EXPECT_EQ(h.file, nullptr);
}

TEST_F(WavHeaderTest, EachTruncationPrintsTheMessageOfTheFieldItCuts) {
    const auto whole = wavBytes(WavFormat{}, {});
    ASSERT_EQ(whole.size(), 44u);
    struct Cut {
        std::size_t from, to;  // file lengths [from, to)
        const char* message;
    };
    const Cut cuts[] = {
        {0, 4, "read riff error!\n"},          {4, 8, "read size error!\n"},        {8, 12, "read wave_flag error!\n"},
        {12, 16, "read fmt error!\n"},         {16, 20, "read fmt_len error!\n"},   {20, 22, "read tag error!\n"},
        {22, 24, "read channels error!\n"},    {24, 28, "read samp_freq error!\n"}, {28, 32, "read byte_rate error!\n"},
        {32, 34, "read byte_samp error!\n"},   {34, 36, "read bit_samp error!\n"},  {36, 37, "data chunk not found!\n"},
        {37, 40, "read header data error!\n"}, {40, 44, "read length error!\n"},
    };
    for (const Cut& cut : cuts) {
        for (std::size_t length = cut.from; length < cut.to; ++length) {
            const auto path = folder_.write("cut.wav", {whole.begin(), whole.begin() + static_cast<long>(length)});
            WavHeader h;
            const auto [ok, printed] = readCapturing(path, h);
            EXPECT_FALSE(ok) << length;
            EXPECT_EQ(printed, cut.message) << "file of " << length << " bytes";
            EXPECT_EQ(h.file, nullptr);
        }
    }
}

TEST_F(WavHeaderTest, MissingFileAndNullNameAreOpenFailures) {
    WavHeader h;
    EXPECT_EQ(readCapturing(folder_.path() + "/absent.wav", h),
              std::make_pair(false, std::string("file open failure!\n")));
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(readWavHeader(nullptr, h));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "file open failure!\n");
}

TEST_F(WavHeaderTest, EighteenByteFormatChunkPutsTheDataAtOffset46) {
    auto bytes = wavBytes(WavFormat{}, {1, 2, 3, 4});
    bytes[16] = 18;                                  // fmt_len
    bytes.insert(bytes.begin() + 36, {0x00, 0x00});  // extension size 0
    WavHeader h;
    const auto [ok, printed] = readCapturing(folder_.write("ext.wav", bytes), h);
    ASSERT_TRUE(ok) << printed;
    EXPECT_EQ(h.fmt_len, 18u);
    EXPECT_EQ(std::memcmp(h.data, "data", 4), 0);
    EXPECT_EQ(h.length, 4u);
    EXPECT_EQ(h.dataOffset, 46);
}

TEST_F(WavHeaderTest, AStray0x64BeforeTheDataChunkIsTakenForItsTag) {
    // A chunk "LIST" of 6 bytes whose second byte is 0x64 stands before "data".
    auto bytes = wavBytes(WavFormat{}, {9, 9});
    const std::vector<std::uint8_t> list = {'L',  'I',  'S',  'T',  6,    0,    0,    0,
                                            0x10, 0x64, 0xAA, 0xBB, 0xCC, 0x01, 0x02, 0x03};
    bytes.insert(bytes.begin() + 36, list.begin(), list.end());
    WavHeader h;
    const auto [ok, printed] = readCapturing(folder_.write("stray.wav", bytes), h);
    ASSERT_TRUE(ok) << printed;
    const char expectedTag[4] = {0x64, static_cast<char>(0xAA), static_cast<char>(0xBB), static_cast<char>(0xCC)};
    EXPECT_EQ(std::memcmp(h.data, expectedTag, 4), 0);
    EXPECT_EQ(h.length, 0x00030201u | (std::uint32_t{'d'} << 24));
    EXPECT_EQ(h.dataOffset, 36 + 9 + 8);
}

TEST_F(WavHeaderTest, TagsAreNotCompared) {
    auto bytes = wavBytes(WavFormat{}, {0, 0});
    std::memcpy(bytes.data(), "RIFX", 4);
    std::memcpy(bytes.data() + 8, "AVI ", 4);
    std::memcpy(bytes.data() + 12, "junk", 4);
    bytes[20] = 3;  // format tag: float
    std::memcpy(bytes.data() + 36, "dxyz", 4);
    WavHeader h;
    const auto [ok, printed] = readCapturing(folder_.write("tags.wav", bytes), h);
    ASSERT_TRUE(ok) << printed;
    EXPECT_EQ(std::memcmp(h.riff, "RIFX", 4), 0);
    EXPECT_EQ(std::memcmp(h.data, "dxyz", 4), 0);
    EXPECT_EQ(h.tag, 3u);
    EXPECT_EQ(h.length, 2u);
    EXPECT_EQ(h.dataOffset, 44);
}

// The same check the players' starts make: the width and a nonzero rate.
TEST_F(WavHeaderTest, PlayableOnlyFor8To24BitsWithARateAndSilentAboutIt) {
    const struct {
        std::uint16_t bits;
        std::uint32_t rate;
        bool playable;
    } cases[] = {{8, 1000, true},   {16, 1000, true}, {24, 1000, true}, {32, 1000, false},
                 {12, 1000, false}, {0, 1000, false}, {16, 0, false}};
    for (const auto& c : cases) {
        WavFormat format;
        format.bits = c.bits;
        format.sampFreq = c.rate;
        const auto path = folder_.write("w.wav", wavBytes(format, {0, 0, 0, 0}));
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(isWavPlayable(path.c_str()), c.playable) << c.bits << " bits at " << c.rate;
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    }
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(isWavPlayable((folder_.path() + "/absent.wav").c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "file open failure!\n");
}

}  // namespace
}  // namespace asiochan
