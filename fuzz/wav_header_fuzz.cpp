// Feeds arbitrary files to the WAV header reader and, when a header reads, checks
// what it found against the file and against the command-line host's own reader
// (the two agree on every file whose chunks walk, RF64 and placeholder sizes
// included), and converts the start of the data both through the buffered frame
// converter and one sample at a time: the two must agree.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "wav/wav_file.h"
#include "fileplay/sample_conversion.h"
#include "fileplay/wav_header.h"

using namespace asiochan;

namespace {

std::string scratchPath;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void checkConversion(const WavHeader& h, const std::uint8_t* data, std::size_t size) {
    const std::uint32_t width = h.bit_samp / 8u;
    const std::uint32_t channels = std::max<std::uint32_t>(h.channels, 1);
    const std::size_t frameBytes = std::size_t{width} * channels;
    const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(h.dataBytes / frameBytes, 4096));

    std::vector<std::uint8_t> expected(frames * 4, 0);
    for (std::size_t f = 0; f < frames; ++f) {
        const std::size_t at = static_cast<std::size_t>(h.dataOffset) + f * frameBytes;
        if (at + width > size) break;
        writeOutputSample(fileSampleValue(data + at, width), 0.8f, width, &expected[f * 4]);
    }

    std::FILE* f = std::fopen(scratchPath.c_str(), "rb");
    check(f != nullptr && std::fseek(f, h.dataOffset, SEEK_SET) == 0);
    FrameConverter converter;
    check(converter.init(width, channels));
    converter.reset(f);
    std::atomic<float> volume{0.8f};
    std::vector<std::uint8_t> got(frames * 4, 0xEE);
    // Uneven steps, so frames straddle the converter's reads in different places.
    for (std::size_t done = 0, step = 1; done < frames; done += step, step = step * 3 + 1)
        converter.convert(got.data() + done * 4, std::min(step, frames - done), volume);
    std::fclose(f);
    check(got == expected);
}

// What plays is the size as written, or in an RF64 file whose data chunk says
// 0xFFFFFFFF the ds64 chunk's; a placeholder (0x7FFF0000 and up) past the end of
// the file ends with it, so no size that large ever runs past the end.
void checkDataBytes(const WavHeader& h, std::size_t size) {
    const std::uint64_t held = size - static_cast<std::size_t>(h.dataOffset);
    const bool rf64Size = std::memcmp(h.riff, "RF64", 4) == 0 && h.length == 0xFFFFFFFF;
    check(h.dataBytes <= held || h.dataBytes < 0x7FFF0000);
    check(rf64Size || h.dataBytes == h.length || (h.length >= 0x7FFF0000 && h.dataBytes == held));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The reader's failure messages go to standard output; keep the fuzzer's log clean.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    scratchPath = "/tmp/asiochan-wav-fuzz." + std::to_string(::getpid()) + ".wav";
    std::atexit([] { std::remove(scratchPath.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(scratchPath.c_str(), "wb");
    if (f == nullptr) return 0;
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);

    WavHeader h;
    const bool ok = readWavHeader(scratchPath.c_str(), h);
    check(h.file == nullptr);
    const bool playable = isWavPlayable(scratchPath.c_str());
    if (!ok) {
        check(!playable);
        return 0;
    }
    cli::WavInfo info;
    std::string error;
    if (cli::readWavInfo(scratchPath, &info, &error)) {
        // A RIFF/WAVE file whose chunks walk: the command-line host's reader found
        // the same chunks, and they are where the record says.
        check(h.dataOffset == static_cast<std::int64_t>(info.dataOffset) && h.dataBytes == info.dataBytes);
        check(h.tag == info.formatTag && h.channels == info.channels && h.samp_freq == info.sampleRate &&
              h.bit_samp == info.bitsPerSample);
        check(h.dataOffset >= 44 && static_cast<std::size_t>(h.dataOffset) <= size);
        check(std::memcmp(data + h.dataOffset - 8, "data", 4) == 0 && h.length == le32(data + h.dataOffset - 4));
        check(std::memcmp(h.data, "data", 4) == 0 && std::memcmp(h.fmt, "fmt ", 4) == 0 && h.fmt_len >= 16);
    } else {
        // Not RIFF/WAVE, or a walk that failed: the tag starts at a 0x64 at or after
        // offset 36; the length is the four bytes after it, and the data begins
        // right behind them.
        check(h.dataOffset >= 44 && static_cast<std::size_t>(h.dataOffset) <= size);
        check(static_cast<std::uint8_t>(h.data[0]) == 0x64 && data[h.dataOffset - 8] == 0x64);
        check(std::memchr(data + 36, 0x64, static_cast<std::size_t>(h.dataOffset) - 8 - 36) == nullptr);
        check(h.length == le32(data + h.dataOffset - 4));
        check(h.channels == (data[22] | (data[23] << 8)) && h.bit_samp == (data[34] | (data[35] << 8)));
    }
    checkDataBytes(h, size);
    check(playable == ((h.bit_samp == 8 || h.bit_samp == 16 || h.bit_samp == 24) && h.samp_freq != 0));
    if (playable) checkConversion(h, data, size);
    return 0;
}
