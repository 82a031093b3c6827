// Conversion of a WAV file's first channel to the players' output samples: signed
// 32-bit little-endian (the layout of ASIOSTInt32LSB), scaled by a volume.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace asiochan {

constexpr std::uint32_t kOutputSampleBytes = 4;

// The signed value of one file sample of 1, 2 or 3 bytes, least significant byte
// first. 8-bit samples map to 16-bit values with the high byte b ^ 0x80 and the low
// byte 0xFF below 128, 0x00 from 128 on (0 -> -32513, 128 -> 0, 255 -> 32512).
std::int32_t fileSampleValue(const std::uint8_t* bytes, std::uint32_t bytesPerSample);

// Multiplies `value` by `volume` in single precision, truncates toward zero and
// clips to the file's range (-32768..32767 for 8 and 16 bits, -8388608..8388607 for
// 24 bits), then writes the 4 output bytes: 00 00 lo hi for 8 and 16 bits,
// 00 b0 b1 b2 for 24 bits. A product that is not a number gives silence.
void writeOutputSample(std::int32_t value, float volume, std::uint32_t bytesPerSample, std::uint8_t* out);

// Reads whole frames of interleaved samples from a stream through a buffer of its
// own and converts the first sample of each frame; the other channels of the frame
// are skipped. Frames the stream cannot deliver (a file shorter than its header
// says) come out silent.
class FrameConverter {
public:
    FrameConverter() = default;
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;
    ~FrameConverter();

    // Sets the format (1 to 3 bytes per sample, any channel count; 0 channels
    // count as 1) and allocates the read buffer. False when it cannot be allocated
    // or the sample width is not 1, 2 or 3 bytes.
    bool init(std::uint32_t bytesPerSample, std::uint32_t channels);

    // Starts reading `stream`, already positioned at the first frame. The caller
    // keeps ownership of the stream.
    void reset(std::FILE* stream);

    // Converts the next `frames` frames into `out`, 4 bytes per frame. The volume is
    // read again for every sample, so a change applies from the next sample on.
    void convert(std::uint8_t* out, std::size_t frames, const std::atomic<float>& volume);

    std::uint32_t frameBytes() const { return frameBytes_; }

private:
    // Moves unread bytes to the front and reads more; false when nothing more came.
    bool refill();

    std::FILE* stream_ = nullptr;
    std::uint8_t* buffer_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t pos_ = 0;  // next unread byte
    std::size_t end_ = 0;  // one past the last byte read
    bool exhausted_ = false;
    std::uint32_t bytesPerSample_ = 0;
    std::uint32_t frameBytes_ = 0;
};

}  // namespace asiochan
