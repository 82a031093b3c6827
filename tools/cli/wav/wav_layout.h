// The header of a capture file: a plain 44-byte WAV header, or one with room for
// a ds64 chunk (a JUNK chunk of its size) that becomes an RF64 header once the
// file passes what 32-bit sizes hold.
#pragma once

#include <array>
#include <cstdint>

namespace cli {

struct WavFormat {
    std::uint16_t formatTag = 1;  // 1 = PCM, 3 = IEEE float
    std::uint16_t channels = 1;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;

    unsigned frameBytes() const { return bitsPerSample / 8u * channels; }
};

// The sizes a header states.
struct WavSizes {
    std::uint64_t dataBytes = 0;
    std::uint64_t frames = 0;
};

// "RIFF" size "WAVE", "fmt " (16 bytes), "data" size: 44 bytes, the samples after.
constexpr std::size_t kPlainHeaderBytes = 44;
// "RIFF"/"RF64" size "WAVE", "JUNK"/"ds64" (28 bytes), "fmt " (16 bytes), "data"
// size: 80 bytes, the samples after.
constexpr std::size_t kReservedHeaderBytes = 80;
constexpr std::uint32_t kDs64Bytes = 28;

// The plain header; its RIFF size is 36 + dataBytes, which must fit in 32 bits.
std::array<std::uint8_t, kPlainHeaderBytes> plainHeader(const WavFormat& format, std::uint32_t dataBytes);

// The header with room for ds64: a WAV file with a JUNK chunk while its RIFF size
// (72 + dataBytes) is at most `limit` (the largest 32-bit size, 0xFFFFFFFF, in
// files; smaller in tests), an RF64 file past it: RIFF and data sizes 0xFFFFFFFF,
// the real ones (and the frame count) in ds64, whose table is empty.
std::array<std::uint8_t, kReservedHeaderBytes> reservedHeader(const WavFormat& format, const WavSizes& sizes,
                                                              std::uint64_t limit);

// Whether reservedHeader makes an RF64 header for these sizes.
bool isRf64(const WavSizes& sizes, std::uint64_t limit);

}  // namespace cli
