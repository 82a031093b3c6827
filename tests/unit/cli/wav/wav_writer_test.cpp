#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>
#include <algorithm>
#include <string>
#include <vector>

#include "fileplay/wav_header.h"
#include "wav/wav_file.h"
#include "wav/wav_writer.h"

namespace {

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint64_t le(const std::vector<std::uint8_t>& bytes, std::size_t at, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes.at(at + static_cast<std::size_t>(i));
    return value;
}

std::string tag(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4);
}

// One buffer per channel of `frames` samples of `width` bytes, all different.
struct Channels {
    Channels(std::size_t count, std::size_t width, std::size_t frames) : buffers(count) {
        for (std::size_t c = 0; c < count; ++c) {
            for (std::size_t i = 0; i < frames * width; ++i)
                buffers[c].push_back(static_cast<std::uint8_t>(i * 7 + c * 50 + 1));
            pointers.push_back(buffers[c].data());
        }
    }
    // The same frames interleaved, with `silent` frames of zeros after frame `at`.
    std::vector<std::uint8_t> interleaved(std::size_t width, std::size_t at, std::size_t silent) const {
        std::vector<std::uint8_t> out;
        const std::size_t frames = buffers[0].size() / width;
        for (std::size_t i = 0; i < frames; ++i) {
            if (i == at) out.insert(out.end(), silent * width * buffers.size(), 0);
            for (const auto& b : buffers) out.insert(out.end(), b.begin() + i * width, b.begin() + (i + 1) * width);
        }
        return out;
    }
    std::vector<std::vector<std::uint8_t>> buffers;
    std::vector<const std::uint8_t*> pointers;
};

// A capture that fits in a WAV file is the file the writer of whole captures
// made: its header and its interleaved samples, byte for byte, however the
// frames and the silence of a drop come in.
TEST(CliWavWriter, PlainFileIsTheWholeCaptureWritersFile) {
    const struct {
        std::uint16_t tag, bits, channels;
        std::size_t frames;
    } cases[] = {{1, 16, 3, 40001}, {1, 24, 1, 999},   {3, 32, 2, 70000},
                 {1, 32, 64, 5000}, {1, 32, 13, 1001}, {3, 64, 5, 3000}};
    const std::string ours = ::testing::TempDir() + "asiochan_writer_plain.wav";
    const std::string theirs = ::testing::TempDir() + "asiochan_writer_whole.wav";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels of " + std::to_string(c.bits) + " bits");
        const std::size_t width = c.bits / 8u;
        const Channels channels(c.channels, width, c.frames);
        const std::size_t split = c.frames / 3;
        cli::WavWriter writer;
        ASSERT_TRUE(writer.open(ours, {c.tag, c.channels, 48000, c.bits}, false)) << writer.error();
        ASSERT_TRUE(writer.writeChannels(channels.pointers.data(), 0, split));
        ASSERT_TRUE(writer.writeSilence(17));
        ASSERT_TRUE(writer.writeChannels(channels.pointers.data(), split, c.frames - split));
        ASSERT_TRUE(writer.close()) << writer.error();
        EXPECT_EQ(writer.frames(), c.frames + 17);
        std::string error;
        ASSERT_TRUE(
            cli::writeWav(theirs, c.tag, 48000, c.bits, channels.interleaved(width, split, 17), &error, c.channels));
        EXPECT_TRUE(fileBytes(ours) == fileBytes(theirs));
    }
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
}

// A file that may grow past 4 GiB starts with a JUNK chunk the size of ds64; it
// stays a WAV file up to the limit (small here) and is RF64 past it.
TEST(CliWavWriter, ReservedFileBecomesRf64PastTheLimit) {
    constexpr std::uint64_t kLimit = 72 + 96;  // RIFF size of 96 bytes of samples
    const struct {
        std::size_t frames;  // of 2 channels of 16 bits
        bool rf64;
    } cases[] = {{0, false}, {24, false}, {25, true}, {1000, true}};
    const std::string path = ::testing::TempDir() + "asiochan_writer_reserved.wav";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + " frames");
        const Channels channels(2, 2, c.frames);
        cli::WavWriter writer(kLimit);
        ASSERT_TRUE(writer.open(path, {1, 2, 44100, 16}, true)) << writer.error();
        ASSERT_TRUE(writer.writeChannels(channels.pointers.data(), 0, c.frames));
        ASSERT_TRUE(writer.close()) << writer.error();
        EXPECT_EQ(writer.rf64(), c.rf64);
        const std::vector<std::uint8_t> file = fileBytes(path);
        const std::uint64_t data = c.frames * 4;
        ASSERT_EQ(file.size(), 80 + data);
        EXPECT_EQ(tag(file, 0), c.rf64 ? "RF64" : "RIFF");
        EXPECT_EQ(le(file, 4, 4), c.rf64 ? 0xFFFFFFFFu : 72 + data);
        EXPECT_EQ(tag(file, 8), "WAVE");
        EXPECT_EQ(tag(file, 12), c.rf64 ? "ds64" : "JUNK");
        EXPECT_EQ(le(file, 16, 4), 28u);
        EXPECT_EQ(le(file, 20, 8), c.rf64 ? 72 + data : 0);  // RIFF size
        EXPECT_EQ(le(file, 28, 8), c.rf64 ? data : 0);       // data size
        EXPECT_EQ(le(file, 36, 8), c.rf64 ? c.frames : 0);   // frames
        EXPECT_EQ(le(file, 44, 4), 0u);                      // no table
        EXPECT_EQ(tag(file, 48), "fmt ");
        EXPECT_EQ(le(file, 52, 4), 16u);
        EXPECT_EQ(le(file, 60, 4), 44100u);
        EXPECT_EQ(tag(file, 72), "data");
        EXPECT_EQ(le(file, 76, 4), c.rf64 ? 0xFFFFFFFFu : data);
        EXPECT_TRUE(std::vector<std::uint8_t>(file.begin() + 80, file.end()) == channels.interleaved(2, 0, 0));
    }
    std::remove(path.c_str());
}

// A process that dies in the middle of a capture leaves a header less than a
// second of audio behind the samples on the disk, at low and high data rates,
// whatever the size of the pieces handed to the writer.
TEST(CliWavWriter, HeaderFollowsTheSamplesWithinASecond) {
    const struct {
        std::uint16_t channels, bits;
        std::uint32_t rate;
        bool mayGrow;
    } cases[] = {{1, 16, 8000, false}, {2, 32, 48000, true}, {16, 32, 48000, true}};
    const std::string path = ::testing::TempDir() + "asiochan_writer_refresh.wav";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels at " + std::to_string(c.rate) + " Hz");
        const std::size_t width = c.bits / 8u;
        const std::uint64_t second = std::uint64_t{c.rate} * width * c.channels;
        const Channels channels(c.channels, width, c.rate * 5 / 2);
        cli::WavWriter writer;
        ASSERT_TRUE(writer.open(path, {1, c.channels, c.rate, c.bits}, c.mayGrow)) << writer.error();
        // Pieces of 0.05, 0.3 and 2.5 s, as the writer thread hands them over.
        for (const std::size_t frames : {c.rate / 20, c.rate * 3 / 10, c.rate * 5 / 2, c.rate / 20}) {
            ASSERT_TRUE(writer.writeChannels(channels.pointers.data(), 0, frames));
            const std::vector<std::uint8_t> file = fileBytes(path);
            ASSERT_EQ(file.size(), writer.dataOffset() + writer.dataBytes());
            EXPECT_LT(writer.dataBytes() - le(file, writer.dataOffset() - 4, 4), second)
                << "after " << writer.frames() << " frames";
        }
        ASSERT_TRUE(writer.close()) << writer.error();
    }
    std::remove(path.c_str());
}

// The chunk `name` of a RIFF file, walked from offset 12 with the pad byte after an
// odd size: where its body starts and its size; {0, 0} when it is not there.
std::pair<std::size_t, std::uint32_t> chunk(const std::vector<std::uint8_t>& file, const char* name) {
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const auto size = static_cast<std::uint32_t>(le(file, at + 4, 4));
        if (tag(file, at) == name) return {at + 8, size};
        at += 8 + std::size_t{size} + (size & 1);
    }
    return {0, 0};
}

// The files as the format's documents have them: 16-bit mono and stereo the plain
// 44-byte header they always had, byte for byte; float on one or two channels the
// 18-byte float format; more bits or more channels the extensible format with its
// channel mask; float
// a fact chunk with the frame count; an odd number of bytes of samples a pad byte;
// and the library's reader and the command line's find the samples in each.
TEST(CliWavWriter, FilesAreLaidOutAsTheFormatSays) {
    const struct {
        std::uint16_t tag, bits, channels;
        std::size_t frames;
        bool mayGrow;
        std::uint32_t mask;  // extensible files
    } cases[] = {{1, 16, 1, 1001, false, 0}, {1, 16, 2, 1001, true, 0}, {1, 16, 3, 1001, false, 0},
                 {1, 24, 1, 1001, false, 4}, {1, 24, 1, 5, true, 4},    {1, 32, 2, 100, true, 3},
                 {3, 32, 2, 100, false, 3},  {3, 64, 1, 7, true, 4},    {3, 32, 5, 10, false, 0}};
    const std::string path = ::testing::TempDir() + "asiochan_writer_layout.wav";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels of " + std::to_string(c.bits) + " bits, tag " +
                     std::to_string(c.tag) + (c.mayGrow ? ", may grow" : ""));
        const std::size_t width = c.bits / 8u;
        const Channels channels(c.channels, width, c.frames);
        cli::WavWriter writer;
        ASSERT_TRUE(writer.open(path, {c.tag, c.channels, 44100, c.bits}, c.mayGrow)) << writer.error();
        ASSERT_TRUE(writer.writeChannels(channels.pointers.data(), 0, c.frames));
        ASSERT_TRUE(writer.close()) << writer.error();
        const std::vector<std::uint8_t> file = fileBytes(path);
        const std::size_t dataBytes = c.frames * width * c.channels;
        const bool extensible = c.channels > 2 || (c.tag == 1 && c.bits > 16);
        EXPECT_EQ(le(file, 4, 4), file.size() - 8);  // the RIFF size, pad byte included
        EXPECT_EQ(tag(file, 12), c.mayGrow ? "JUNK" : "fmt ");
        const auto [fmt, fmtBytes] = chunk(file, "fmt ");
        EXPECT_EQ(fmtBytes, extensible ? 40u : c.tag == 1 ? 16u : 18u);
        EXPECT_EQ(le(file, fmt, 2), extensible ? 0xFFFEu : c.tag);
        EXPECT_EQ(le(file, fmt + 12, 2), width * c.channels);
        if (fmtBytes > 16) {
            EXPECT_EQ(le(file, fmt + 16, 2), extensible ? 22u : 0u);  // the extension's size
        }
        if (extensible) {
            EXPECT_EQ(le(file, fmt + 18, 2), c.bits);  // valid bits
            EXPECT_EQ(le(file, fmt + 20, 4), c.mask);
            const std::vector<std::uint8_t> guid = {
                std::uint8_t(c.tag), 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
            EXPECT_TRUE(std::equal(guid.begin(), guid.end(), file.begin() + static_cast<std::ptrdiff_t>(fmt + 24)));
        }
        const auto [fact, factBytes] = chunk(file, "fact");
        EXPECT_EQ(factBytes, c.tag == 3 ? 4u : 0u);
        EXPECT_EQ(c.tag == 3 ? le(file, fact, 4) : 0, c.tag == 3 ? c.frames : 0);
        const auto [data, size] = chunk(file, "data");
        EXPECT_EQ(size, dataBytes);
        ASSERT_EQ(file.size(), data + dataBytes + (dataBytes & 1));
        EXPECT_EQ(dataBytes & 1 ? file.back() : 0, 0);  // the pad byte
        EXPECT_TRUE(std::vector<std::uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(data),
                                              file.begin() + static_cast<std::ptrdiff_t>(data + dataBytes)) ==
                    channels.interleaved(width, 0, 0));
        if (c.bits == 16 && c.channels <= 2 && !c.mayGrow) {
            // The header of 16-bit files before the extensible format: nothing moved.
            const std::uint8_t ba = static_cast<std::uint8_t>(2 * c.channels);
            const std::uint32_t riff = static_cast<std::uint32_t>(36 + dataBytes);
            // clang-format off
            const std::vector<std::uint8_t> classic = {
                'R', 'I', 'F', 'F', std::uint8_t(riff), std::uint8_t(riff >> 8), 0, 0, 'W', 'A', 'V', 'E',
                'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, std::uint8_t(c.channels), 0, 0x44, 0xAC, 0, 0,
                std::uint8_t(44100 * ba), std::uint8_t(44100 * ba >> 8), std::uint8_t(44100 * ba >> 16), 0,
                ba, 0, 16, 0, 'd', 'a', 't', 'a', std::uint8_t(dataBytes), std::uint8_t(dataBytes >> 8), 0, 0};
            // clang-format on
            EXPECT_TRUE(std::vector<std::uint8_t>(file.begin(), file.begin() + 44) == classic);
        }
        cli::WavInfo info;
        std::string error;
        ASSERT_TRUE(cli::readWavInfo(path, &info, &error)) << error;
        EXPECT_EQ(info.sampleFormat, c.tag);
        EXPECT_EQ(info.dataOffset, data);
        EXPECT_EQ(info.frames(), c.frames);
        asiochan::WavHeader header;
        ASSERT_TRUE(asiochan::readWavHeader(path.c_str(), header));
        EXPECT_EQ(static_cast<std::size_t>(header.dataOffset), data);
        EXPECT_EQ(header.dataBytes, dataBytes);
    }
    std::remove(path.c_str());
}

// The file size limit of this process for one scope; a write past it fails with
// EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &before_);
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = before_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &before_);
        std::signal(SIGXFSZ, handler_);
    }

private:
    rlimit before_{};
    void (*handler_)(int) = nullptr;
};

// A disk that fills up stops the writer with the system's reason, and the file
// keeps a valid header for the whole frames that reached it.
TEST(CliWavWriter, WriteErrorLeavesAValidFileOfWhatWasWritten) {
    const struct {
        const char* what;
        std::string path;
        bool mayGrow;
        rlim_t room;  // bytes the file may take; 0: no limit
        const char* reason;
        std::uint64_t frames;  // whole frames of 8 bytes the file keeps
    } cases[] = {
        {"a full device", "/dev/full", true, 0, "No space left on device", 0},
        // 32-bit stereo: the extensible format's headers of 68 and 104 bytes.
        {"a plain file that may grow no further", ::testing::TempDir() + "asiochan_writer_full.wav", false,
         68 + 8000 + 5, "File too large", 1000},
        {"a reserved file that may grow no further", ::testing::TempDir() + "asiochan_writer_full.wav", true,
         104 + 8 * 777 + 7, "File too large", 777},
    };
    const Channels channels(2, 4, 100000);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        cli::WavWriter writer;
        {
            FileSizeLimit limit(c.room ? c.room : RLIM_INFINITY);
            if (writer.open(c.path, {1, 2, 48000, 32}, c.mayGrow)) {
                EXPECT_FALSE(writer.writeChannels(channels.pointers.data(), 0, 100000));
            }
            EXPECT_FALSE(writer.close());
        }
        EXPECT_NE(writer.error().find("cannot write " + c.path + ": " + c.reason), std::string::npos) << writer.error();
        EXPECT_EQ(writer.frames(), c.frames);
        if (c.room == 0) continue;
        cli::WavInfo info;
        std::string error;
        ASSERT_TRUE(cli::readWavInfo(c.path, &info, &error)) << error;
        EXPECT_EQ(info.frames(), c.frames);
        EXPECT_EQ(fileBytes(c.path).size(), info.dataOffset + c.frames * 8);
        std::remove(c.path.c_str());
    }
}

}  // namespace
