#include "fileplay/sample_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace asiochan {

namespace {
constexpr std::size_t kReadChunk = 64 * 1024;

// Truncation toward zero, clipped to [low, high]. Float comparisons are exact here:
// both bounds are representable.
std::int32_t clippedProduct(float product, std::int32_t low, std::int32_t high) {
    if (std::isnan(product)) return 0;
    if (product <= static_cast<float>(low)) return low;
    if (product >= static_cast<float>(high)) return high;
    return static_cast<std::int32_t>(product);
}
}  // namespace

std::int32_t fileSampleValue(const std::uint8_t* bytes, std::uint32_t bytesPerSample) {
    switch (bytesPerSample) {
        case 1: {
            const std::uint8_t b = bytes[0];
            const auto word = static_cast<std::uint16_t>(((b ^ 0x80u) << 8) | (b < 128 ? 0xFFu : 0x00u));
            return static_cast<std::int16_t>(word);
        }
        case 2:
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
        case 3: {
            const std::uint32_t raw = bytes[0] | (bytes[1] << 8) | (static_cast<std::uint32_t>(bytes[2]) << 16);
            return static_cast<std::int32_t>(raw ^ 0x800000u) - 0x800000;
        }
        default:
            return 0;
    }
}

void writeOutputSample(std::int32_t value, float volume, std::uint32_t bytesPerSample, std::uint8_t* out) {
    // Assigning to a float rounds to single precision even where the FPU keeps more.
    const float product = static_cast<float>(value) * volume;
    if (bytesPerSample == 3) {
        const auto i = static_cast<std::uint32_t>(clippedProduct(product, -8388608, 8388607));
        out[0] = 0;
        out[1] = static_cast<std::uint8_t>(i);
        out[2] = static_cast<std::uint8_t>(i >> 8);
        out[3] = static_cast<std::uint8_t>(i >> 16);
    } else {
        const auto i = static_cast<std::uint32_t>(clippedProduct(product, -32768, 32767));
        out[0] = 0;
        out[1] = 0;
        out[2] = static_cast<std::uint8_t>(i);
        out[3] = static_cast<std::uint8_t>(i >> 8);
    }
}

FrameConverter::~FrameConverter() { delete[] buffer_; }

bool FrameConverter::init(std::uint32_t bytesPerSample, std::uint32_t channels) {
    if (bytesPerSample < 1 || bytesPerSample > 3) return false;
    bytesPerSample_ = bytesPerSample;
    frameBytes_ = bytesPerSample * std::max<std::uint32_t>(channels, 1);
    // Room for whole frames plus a chunk to read into, however wide the frame.
    const std::size_t capacity = std::max<std::size_t>(kReadChunk, 2 * static_cast<std::size_t>(frameBytes_));
    if (capacity != capacity_) {
        delete[] buffer_;
        buffer_ = new (std::nothrow) std::uint8_t[capacity];
        capacity_ = buffer_ ? capacity : 0;
    }
    reset(nullptr);
    return buffer_ != nullptr;
}

void FrameConverter::reset(std::FILE* stream) {
    stream_ = stream;
    pos_ = end_ = 0;
    exhausted_ = stream == nullptr;
}

bool FrameConverter::refill() {
    if (exhausted_) return false;
    const std::size_t left = end_ - pos_;
    if (left > 0 && pos_ > 0) std::memmove(buffer_, buffer_ + pos_, left);
    pos_ = 0;
    end_ = left;
    const std::size_t got = std::fread(buffer_ + end_, 1, capacity_ - end_, stream_);
    end_ += got;
    if (got == 0) exhausted_ = true;
    return got > 0;
}

void FrameConverter::convert(std::uint8_t* out, std::size_t frames, const std::atomic<float>& volume) {
    const std::uint32_t width = bytesPerSample_;
    const std::size_t frameBytes = frameBytes_;
    while (frames > 0) {
        std::size_t whole = (end_ - pos_) / frameBytes;
        if (whole == 0 && !refill()) break;
        whole = std::min((end_ - pos_) / frameBytes, frames);
        const std::uint8_t* in = buffer_ + pos_;
        for (std::size_t f = 0; f < whole; ++f) {
            writeOutputSample(fileSampleValue(in, width), volume.load(std::memory_order_relaxed), width, out);
            in += frameBytes;
            out += kOutputSampleBytes;
        }
        pos_ += whole * frameBytes;
        frames -= whole;
    }
    if (frames == 0) return;
    // The stream ended inside a frame: its first sample still plays when it arrived
    // whole, and everything after is silence.
    if (end_ - pos_ >= width) {
        writeOutputSample(fileSampleValue(buffer_ + pos_, width), volume.load(std::memory_order_relaxed), width, out);
        out += kOutputSampleBytes;
        --frames;
    }
    pos_ = end_;
    std::memset(out, 0, frames * kOutputSampleBytes);
}

}  // namespace asiochan
