#include "fileplay/wav_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "fileplay/wav_files.h"
#include "support/open_files.h"
#include "wav/wav_file.h"

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

// Chunked files as sox, ffmpeg and recording programs write them, and files the
// chunk walk gives up on. A RIFF/WAVE or RF64 file is read by its chunks: the first
// "fmt " wherever it stands, the first "data" after it. Files that are not RIFF/WAVE,
// or whose walk fails, are read at the fixed offsets with the data chunk at the first
// 0x64 from offset 36. What plays is the data size as written, an RF64 file's ds64
// size, or for a placeholder past the end of the file what the file holds. The
// command-line host's own reader agrees on every file the walk reads.
TEST_F(WavHeaderTest, ChunkedFilesGiveTheFormatAndTheDataChunkTheyHold) {
    using Bytes = std::vector<std::uint8_t>;
    const auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
    const auto join = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    // A chunk: tag, size, body and a pad byte after an odd size.
    const auto chunk = [&](const char* tag, const Bytes& body, std::uint32_t size) {
        Bytes out = text(tag);
        testing::putLe(out, size, 4);
        out.insert(out.end(), body.begin(), body.end());
        if (body.size() % 2) out.push_back(0);
        return out;
    };
    const auto whole = [&](const char* tag, const Bytes& body) {
        return chunk(tag, body, static_cast<std::uint32_t>(body.size()));
    };
    const auto fmt = [&](std::uint16_t tag, std::uint16_t channels, std::uint16_t bits, const Bytes& extra = {}) {
        Bytes b;
        testing::putLe(b, tag, 2);
        testing::putLe(b, channels, 2);
        testing::putLe(b, 2000, 4);
        testing::putLe(b, 2000u * channels * bits / 8, 4);
        testing::putLe(b, channels * bits / 8u, 2);
        testing::putLe(b, bits, 2);
        b.insert(b.end(), extra.begin(), extra.end());
        return whole("fmt ", b);
    };
    const auto riff = [&](const char* form, std::initializer_list<Bytes> chunks) {
        const Bytes body = join(chunks);
        Bytes out = text("RIFF");
        testing::putLe(out, static_cast<std::uint32_t>(4 + body.size()), 4);
        return join({out, text(form), body});
    };
    const Bytes pcm16 = fmt(1, 1, 16);
    const Bytes samples(12, 0x55);
    const Bytes listInfo = whole("LIST", text(std::string("INFOINAM\x10\0\0\0Sweep and noise\0", 28)));
    Bytes bext = text("Production test stimulus");
    bext.resize(602, 0);
    // WAVE_FORMAT_EXTENSIBLE: 24 bits in 24, front left and right, the PCM subformat.
    Bytes extensible = {22, 0, 24, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    Bytes notRiff = riff("WAVE", {pcm16, listInfo, whole("data", samples)});
    std::memcpy(notRiff.data(), "RIFX", 4);
    Bytes notWave = riff("AVI ", {whole("junk", Bytes(16, 0x55)), whole("dxyz", samples)});
    // An RF64 file: the ds64 chunk's 64-bit sizes (RIFF, data, sample count) and an
    // empty table; `ds64Bytes` under 28 makes it short.
    const auto rf64 = [&](std::uint64_t dataSize, std::uint32_t ds64Bytes) {
        Bytes ds64;
        for (std::uint64_t size : {dataSize + 72, dataSize, dataSize / 2}) {
            testing::putLe(ds64, static_cast<std::uint32_t>(size), 4);
            testing::putLe(ds64, static_cast<std::uint32_t>(size >> 32), 4);
        }
        testing::putLe(ds64, 0, 4);
        ds64.resize(ds64Bytes);
        Bytes out = riff("WAVE", {whole("ds64", ds64), pcm16, chunk("data", samples, 0xFFFFFFFF)});
        std::memcpy(out.data(), "RF64\xFF\xFF\xFF\xFF", 8);
        return out;
    };
    constexpr std::uint64_t kLarge = 5ull << 30;  // an RF64 size past 4 GiB, in a sparse file
    notWave[20] = 3;  // a float format tag among the fixed offsets
    notWave[21] = 0;

    constexpr std::uint64_t kAsWritten = UINT64_MAX;  // the data chunk's size field
    struct Row {
        const char* what;
        Bytes bytes;
        bool walks;  // read by the chunk walk: the host's reader must agree
        std::int32_t dataOffset;
        std::uint32_t length;
        const char* dataTag;
        std::uint16_t tag, channels, bits;
        std::uint32_t fmtLen;
        std::uint64_t dataBytes = kAsWritten;  // what plays
        std::uint64_t sparseTo = 0;            // the file's length, past its bytes
    };
    const Row rows[] = {
        {"the canonical header", riff("WAVE", {pcm16, whole("data", samples)}), true, 44, 12, "data", 1, 1, 16, 16},
        {"an 18-byte format chunk", riff("WAVE", {fmt(1, 1, 16, {0, 0}), whole("data", samples)}), true, 46, 12,
         "data", 1, 1, 16, 18},
        {"JUNK before the format chunk", riff("WAVE", {whole("JUNK", Bytes(28, 0)), pcm16, whole("data", samples)}),
         true, 80, 12, "data", 1, 1, 16, 16},
        {"LIST/INFO with a 'd' in its text", riff("WAVE", {pcm16, listInfo, whole("data", samples)}), true, 80, 12,
         "data", 1, 1, 16, 16},
        {"bext with a 'd' in its description", riff("WAVE", {fmt(1, 2, 8), whole("bext", bext), whole("data", samples)}),
         true, 654, 12, "data", 1, 2, 8, 16},
        {"extensible format, fact with the byte 100 in its count",
         riff("WAVE", {fmt(0xFFFE, 2, 24, extensible), whole("fact", {100, 5, 0, 0}), whole("data", samples)}), true, 80,
         12, "data", 0xFFFE, 2, 24, 40},
        {"an odd-sized chunk and its pad byte", riff("WAVE", {pcm16, whole("odd ", text("ddd")), whole("data", samples)}),
         true, 56, 12, "data", 1, 1, 16, 16},
        {"a data chunk before the format chunk is not the data",
         riff("WAVE", {whole("data", {1, 2}), pcm16, whole("data", samples)}), true, 54, 12, "data", 1, 1, 16, 16},
        {"a second format chunk is not the format",
         riff("WAVE", {pcm16, fmt(1, 2, 24), whole("data", samples)}), true, 68, 12, "data", 1, 1, 16, 16},
        {"a data size past the end, just below the placeholders, stands",
         riff("WAVE", {pcm16, listInfo, chunk("data", samples, 0x7FFEFFFF)}), true, 80, 0x7FFEFFFF, "data", 1, 1, 16,
         16},
        {"ffmpeg's placeholder to a pipe ends with the file",
         riff("WAVE", {pcm16, listInfo, chunk("data", samples, 0xFFFFFFFF)}), true, 80, 0xFFFFFFFF, "data", 1, 1, 16,
         16, 12},
        {"sox's placeholder to a pipe ends with the file", riff("WAVE", {pcm16, chunk("data", samples, 0x7FFFF000)}),
         true, 44, 0x7FFFF000, "data", 1, 1, 16, 16, 12},
        {"RF64: the ds64 chunk's size past 4 GiB", rf64(kLarge, 28), true, 80, 0xFFFFFFFF, "data", 1, 1, 16, 16, kLarge,
         80 + kLarge},
        {"RF64 with a short ds64: the data chunk's 0xFFFFFFFF, to the end of the file", rf64(kLarge, 24), true, 76,
         0xFFFFFFFF, "data", 1, 1, 16, 16, 12},
        // The walk fails; the fixed offsets and the scan read these as they always have.
        {"not RIFF: a stray 'd' in LIST text", notRiff, false, 64 + 8, 0x00657369, "d no", 1, 1, 16, 16},
        {"not WAVE: tags are not compared", notWave, false, 44, 12, "dxyz", 3, 0x5555, 0x5555, 16},
        {"a LIST size past the end of the file",
         riff("WAVE", {pcm16, chunk("LIST", text("xdata"), 200), whole("data", samples)}), false, 45 + 8,
         0x74616400, "data", 1, 1, 16, 16},
        {"a format chunk under 16 bytes",
         riff("WAVE", {whole("fmt ", Bytes(14, 1)), whole("data", samples), whole("data", samples)}), false, 54 + 8,
         12, "data", 0x101, 0x101, 0x6164, 14},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto path = folder_.write("chunks.wav", row.bytes);
        if (row.sparseTo != 0) std::filesystem::resize_file(path, row.sparseTo);
        WavHeader h;
        const auto [ok, printed] = readCapturing(path, h);
        ASSERT_TRUE(ok) << printed;
        EXPECT_EQ(printed, "");
        EXPECT_EQ(h.dataOffset, row.dataOffset);
        EXPECT_EQ(h.length, row.length);
        EXPECT_EQ(h.dataBytes, row.dataBytes == kAsWritten ? row.length : row.dataBytes);
        EXPECT_EQ(std::string(h.data, 4), std::string(row.dataTag, 4));
        EXPECT_EQ(h.tag, row.tag);
        EXPECT_EQ(h.channels, row.channels);
        EXPECT_EQ(h.bit_samp, row.bits);
        EXPECT_EQ(h.fmt_len, row.fmtLen);
        if (!row.walks) continue;
        EXPECT_EQ(h.samp_freq, 2000u);
        EXPECT_EQ(h.byte_samp, h.channels * h.bit_samp / 8);
        EXPECT_EQ(std::string(h.fmt, 4), "fmt ");
        EXPECT_TRUE(isWavPlayable(path.c_str()));  // RF64 files too
        cli::WavInfo info;
        std::string error;
        ASSERT_TRUE(cli::readWavInfo(path, &info, &error)) << error;
        EXPECT_EQ(info.formatTag, h.tag);
        EXPECT_EQ(info.channels, h.channels);
        EXPECT_EQ(info.sampleRate, h.samp_freq);
        EXPECT_EQ(info.bitsPerSample, h.bit_samp);
        EXPECT_EQ(info.dataBytes, h.dataBytes);
        EXPECT_EQ(info.dataOffset, static_cast<std::uint64_t>(h.dataOffset));
    }
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
