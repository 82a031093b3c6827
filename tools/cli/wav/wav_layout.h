// The header of a WAV file the command line writes: "RIFF" size "WAVE", then for a
// file that may pass 4 GiB room for a ds64 chunk (a JUNK chunk of its size, which
// becomes ds64 and the file RF64 once it does), the format chunk, a fact chunk for
// float samples, and the data chunk's header. The samples follow, and a pad byte
// after an odd number of them.
//
// The format chunk is the plain 16-byte PCM one for integer samples of 8 or 16 bits
// on one or two channels (the files such tools have always read), and for float
// samples on one or two channels the 18-byte IEEE float one (as sox, ffmpeg and
// libsndfile write them); more bits or more channels take WAVE_FORMAT_EXTENSIBLE:
// 40 bytes with the valid bits (all of the container's: sox refuses fewer, and
// ffmpeg reads them as samples of that width), a channel mask and the subformat.
#pragma once

#include <cstdint>
#include <vector>

namespace cli {

struct WavFormat {
    std::uint16_t formatTag = 1;  // 1 = PCM, 3 = IEEE float (the subformat when extensible)
    std::uint16_t channels = 1;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;

    unsigned frameBytes() const { return bitsPerSample / 8u * channels; }
    bool extensible() const;
    bool hasFact() const { return formatTag == 3; }
};

// The sizes a header states.
struct WavSizes {
    std::uint64_t dataBytes = 0;
    std::uint64_t frames = 0;
};

constexpr std::uint32_t kDs64Bytes = 28;

// The speaker positions of an extensible file's channels: front centre for mono,
// front left and right for stereo, none for more (the inputs of an interface are
// not speakers: each channel is only its place in the frame).
std::uint32_t channelMask(std::uint16_t channels);

// Bytes before the samples: 44 for a plain 16-bit file, more for the extensible
// format, a fact chunk and the room for ds64 (`reserved`).
std::size_t headerBytes(const WavFormat& format, bool reserved);

// Whether `dataBytes` of samples fit in a file with 32-bit sizes up to `limit`
// (0xFFFFFFFF in files, smaller in tests), pad byte included.
bool fitsIn32Bits(const WavFormat& format, bool reserved, std::uint64_t dataBytes, std::uint64_t limit);

// The header of a file without room for ds64; its sizes must fit (fitsIn32Bits).
std::vector<std::uint8_t> plainHeader(const WavFormat& format, const WavSizes& sizes);

// The header with room for ds64: a WAV file with a JUNK chunk while its sizes fit in
// `limit`, an RF64 file past it: RIFF and data sizes 0xFFFFFFFF (and the fact
// chunk's count), the real ones and the frame count in ds64, whose table is empty.
std::vector<std::uint8_t> reservedHeader(const WavFormat& format, const WavSizes& sizes, std::uint64_t limit);

}  // namespace cli
