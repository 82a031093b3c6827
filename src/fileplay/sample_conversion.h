// Conversion of a WAV file's channels to the players' sample values, scaled by a
// volume. A value is a signed 32-bit integer whose full scale is the whole 32-bit
// range; sample_layout.h lays values out in an output channel's own type. Laid out
// as ASIOSTInt32LSB, a value is the 4 bytes the players have always written.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fileplay/sample_layout.h"

namespace asiochan {

constexpr std::uint32_t kOutputSampleBytes = 4;

// The signed value of one file sample of 1, 2 or 3 bytes, least significant byte
// first. 8-bit samples map to 16-bit values with the high byte b ^ 0x80 and the low
// byte 0xFF below 128, 0x00 from 128 on (0 -> -32513, 128 -> 0, 255 -> 32512).
std::int32_t fileSampleValue(const std::uint8_t* bytes, std::uint32_t bytesPerSample);

// Multiplies `value` by `volume` in single precision, truncates toward zero and
// clips to the file's range (-32768..32767 for 8 and 16 bits, -8388608..8388607 for
// 24 bits), then scales the result to the 32-bit range (<< 16 for 8 and 16 bits,
// << 8 for 24 bits). A product that is not a number gives silence.
SampleValue scaledSampleValue(std::int32_t value, float volume, std::uint32_t bytesPerSample);

// The same value as 4 little-endian bytes: 00 00 lo hi for 8 and 16 bits,
// 00 b0 b1 b2 for 24 bits.
void writeOutputSample(std::int32_t value, float volume, std::uint32_t bytesPerSample, std::uint8_t* out);

// Reads whole frames of interleaved samples from a stream through a buffer of its
// own and converts one channel of each frame per target (the first unless a target
// names another); the other channels of the frame are skipped. Frames the stream
// cannot deliver (a file shorter than its header says) come out silent.
class FrameConverter {
public:
    static constexpr std::size_t kMaxTargets = 64;  // one per output channel at most

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

    // Where convertInto writes one file channel in one sample type: `out` receives
    // frames x the type's width bytes.
    struct Target {
        ASIOSampleType type;
        std::uint8_t* out;
        std::uint32_t channel = 0;  // the file's channel, from 0
    };
    // Converts the next `frames` frames, each channel the targets name once, and lays
    // the values out in each target's type, a run at a time, so that they stay in the
    // cache between the two. The volume is read once for every run of
    // kVolumeRunFrames frames (about 21 ms at 48 kHz), so a change applies from the
    // next run on, to every channel alike; within a run the loops have no branch per
    // sample. The types are looked up once per call. False, writing nothing, when a
    // target's type has no width or its channel is not in the file.
    bool convertInto(const Target* targets, std::size_t count, std::size_t frames, const std::atomic<float>& volume);

    // Converts into ASIOSTInt32LSB samples: 4 bytes per frame.
    void convert(std::uint8_t* out, std::size_t frames, const std::atomic<float>& volume);

    static constexpr std::size_t kVolumeRunFrames = 1024;

    std::uint32_t frameBytes() const { return frameBytes_; }

    // One run's loop: `frames` frames from `in` to 4 bytes each at `out`.
    using Run = void (*)(const std::uint8_t* in, std::size_t frameBytes, std::uint8_t* out, std::size_t frames,
                         float volume);

private:
    // Converts channel `channel` through `run`, which writes values, or floats when
    // `floats` is set.
    void convertWith(Run run, bool floats, std::uint8_t* out, std::size_t frames, std::uint32_t channel,
                     const std::atomic<float>& volume);

    // The whole frames buffered at pos_, reading more when none is: at most `limit`
    // and kVolumeRunFrames; 0 once the stream has no whole frame left.
    std::size_t wholeFrames(std::size_t limit);
    // The value of channel `channel` in the frame the stream ended inside, when that
    // sample arrived whole; else silence.
    SampleValue cutFrameValue(std::uint32_t channel, float volume) const;

    // Moves unread bytes to the front and reads more; false when nothing more came.
    bool refill();

    std::FILE* stream_ = nullptr;
    Run valueRun_ = nullptr;  // the loops for this sample width and frame size
    Run floatRun_ = nullptr;
    std::uint8_t* buffer_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t pos_ = 0;  // next unread byte
    std::size_t end_ = 0;  // one past the last byte read
    bool exhausted_ = false;
    std::uint32_t bytesPerSample_ = 0;
    std::uint32_t channels_ = 1;
    std::uint32_t frameBytes_ = 0;
};

}  // namespace asiochan
