// Converting the stream's samples between the driver's own bytes, one channel's
// samples back to back as the rings hold them, and the application's interleaved
// frames: NATIVE (the same bytes), INT32 (full scale the whole 32-bit range) or
// FLOAT32 (full scale +-1.0). One function per sample type and format, made from
// the rows of the sample-type table; it runs on the application's thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/channel_mask.h"
#include "driver/sample_types.h"

namespace asiochan {

enum class FrameFormat : std::int32_t { Native = 0, Int32 = 1, Float32 = 2 };

// Bytes one sample takes in the application's frames: the type's width for
// NATIVE, 4 otherwise.
std::uint32_t streamSampleBytes(FrameFormat format, ASIOSampleType type);

// `count` samples of one channel: from the ring's `in` (the type's bytes, back to
// back) to `out`, one sample every `stride` bytes; and the reverse.
using StreamDecode = void (*)(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t stride);
using StreamEncode = void (*)(const std::uint8_t* in, std::size_t stride, std::size_t count, std::uint8_t* out);

// The functions for `type` in `format`; null for a type without a width.
StreamDecode streamDecoderFor(ASIOSampleType type, FrameFormat format);
StreamEncode streamEncoderFor(ASIOSampleType type, FrameFormat format);

// Frames of 4-byte samples go through a tile that stays in the first-level
// cache: each channel's block converted in one tight loop, then interleaved.
constexpr std::size_t kStreamTileFrames = 64;
constexpr std::size_t kStreamTileBytes = kStreamTileFrames * 4 * kMaxChannels;

// `frames` 4-byte samples of each of `channels` channels, channel c's block at
// `tile` + c x frames x 4, to `out` as interleaved frames; and the reverse.
void interleaveWords(const std::uint8_t* tile, std::size_t channels, std::size_t frames, std::uint8_t* out);
void deinterleaveWords(const std::uint8_t* in, std::size_t channels, std::size_t frames, std::uint8_t* tile);

}  // namespace asiochan
