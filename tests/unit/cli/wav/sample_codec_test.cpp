#include "wav/sample_codec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fileplay/sample_layout.h"
#include "measure/loopback_check.h"
#include "wav/wav_file.h"

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

namespace {

// Sample `v` (full scale the 32-bit range) as a WAV file holds it for a capture of
// `t`, worked out from the table's columns alone: an integer's `bits` top bits of
// v at the top of a container of 8 x bytes bits, a float's v / 2^31; little-endian.
std::vector<std::uint8_t> wavSampleOf(std::int32_t v, const cli::SampleType& t) {
    std::uint64_t word = 0;
    if (!t.isFloat) {
        const std::int64_t significant = static_cast<std::int64_t>(v) >> (32 - t.bits);
        word = static_cast<std::uint64_t>(significant) << (8 * t.bytes - t.bits);
    } else if (t.bytes == 4) {
        const float f = static_cast<float>(v / 2147483648.0);
        std::uint32_t b;
        std::memcpy(&b, &f, 4);
        word = b;
    } else {
        const double d = v / 2147483648.0;
        std::memcpy(&word, &d, 8);
    }
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < t.bytes; ++i) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
    return bytes;
}

// A capture of every type with a width is written at its true level (a half-scale
// sample, 1 << 30, is half of the file's full scale), whatever the type's byte
// order and justification; the DSD types have no WAV equivalent.
TEST(CliSampleCodec, EveryTypeIsWrittenToWavAtItsTrueLevel) {
    int rows = 0, withWidth = 0;
    for (int code = 0; code <= 40; ++code) {
        const cli::SampleType* t = cli::findSampleType(code);
        if (t == nullptr) continue;
        ++rows;
        SCOPED_TRACE(t->name);
        const cli::SampleFormat f = cli::describeSampleType(code);
        if (t->bytes == 0) {
            EXPECT_EQ(f.wavTag, 0);
            continue;
        }
        ++withWidth;
        EXPECT_EQ(f.wavTag, t->isFloat ? 3 : 1);
        EXPECT_EQ(f.wavBits, 8 * t->bytes);
        for (std::int32_t v : {1 << 30, -(1 << 30), 0x12345678, INT32_MIN}) {
            std::uint8_t sample[8] = {};
            ASSERT_EQ(cli::encodeSample(v, code, sample), t->bytes);
            cli::toWavLayout(sample, 1, code);
            EXPECT_EQ(std::vector<std::uint8_t>(sample, sample + t->bytes), wavSampleOf(v, *t)) << "value " << v;
        }
    }
    EXPECT_EQ(rows, 21);
    EXPECT_EQ(withWidth, 18);
}

// The loopback check of `capture --play` compares what the file holds: a 16-bit
// file played on an Int32LSB output and captured on an input of any type matches
// the input's samples as the capture file lays them out, one period late.
TEST(CliSampleCodec, LoopbackCheckReadsEveryInputTypeAsTheFileHoldsIt) {
    const std::string played = ::testing::TempDir() + "asiochan_loopback_played.wav";
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 200; ++i) {
        const auto s = static_cast<std::int16_t>((i * 2731) % 30000 - 15000 + (i == 0 ? 7 : 0));
        bytes.push_back(static_cast<std::uint8_t>(s));
        bytes.push_back(static_cast<std::uint8_t>(s >> 8));
    }
    std::string error;
    ASSERT_TRUE(cli::writeWav(played, 1, 48000, 16, bytes, &error)) << error;
    cli::WavInfo info;
    ASSERT_TRUE(cli::readWavInfo(played, &info, &error)) << error;
    for (int code = 0; code <= 40; ++code) {
        const cli::SampleType* t = cli::findSampleType(code);
        if (t == nullptr || t->bytes == 0) continue;
        SCOPED_TRACE(t->name);
        std::vector<std::uint8_t> captured(static_cast<std::size_t>(256 * t->bytes), 0);
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            const auto word = static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[i] | bytes[i + 1] << 8) << 16);
            const std::vector<std::uint8_t> sample = wavSampleOf(word, *t);
            captured.insert(captured.end(), sample.begin(), sample.end());
        }
        cli::LoopbackResult result;
        ASSERT_TRUE(cli::compareLoopback(played, info, 0, captured, ASIOCHAN_SAMPLE_INT32LSB, code, &result, &error))
            << error;
        EXPECT_TRUE(result.matches) << result.reason;
        EXPECT_EQ(result.delayFrames, 256u);
        EXPECT_EQ(result.compared, 200u);
    }
    std::remove(played.c_str());
}

}  // namespace
