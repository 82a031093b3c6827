#include "fileplay/sample_conversion.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace asiochan {

namespace {
constexpr std::size_t kReadChunk = 64 * 1024;
// Bytes past the read buffer's end that a run may load: a sample is loaded as a
// 4-byte word whose top bytes are dropped.
constexpr std::size_t kLoadSlack = 4;

// What differs between file sample widths: how a sample is read, the range a scaled
// sample is clipped to, and the shift that brings it to the 32-bit range.
template <std::uint32_t Width>
struct FileWidth;

template <>
struct FileWidth<1> {
    static constexpr float kLow = -32768.0f;
    static constexpr float kHigh = 32767.0f;
    static constexpr int kShift = 16;
    // 8-bit samples are unsigned: the high byte is b ^ 0x80, the low byte 0xFF
    // below 128 and 0x00 from 128 on.
    static std::int32_t load(const std::uint8_t* p) {
        const std::uint32_t b = p[0];
        const std::uint32_t low = ((b >> 7) - 1u) & 0xFFu;
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(((b ^ 0x80u) << 8) | low));
    }
};

template <>
struct FileWidth<2> {
    static constexpr float kLow = -32768.0f;
    static constexpr float kHigh = 32767.0f;
    static constexpr int kShift = 16;
    static std::int32_t load(const std::uint8_t* p) {
        if constexpr (std::endian::native == std::endian::little) {
            std::int16_t v;
            std::memcpy(&v, p, sizeof v);
            return v;
        } else {
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
        }
    }
};

template <>
struct FileWidth<3> {
    static constexpr float kLow = -8388608.0f;
    static constexpr float kHigh = 8388607.0f;
    static constexpr int kShift = 8;
    static std::int32_t load(const std::uint8_t* p) {
        std::uint32_t word;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&word, p, sizeof word);  // the fourth byte is shifted out below
        } else {
            word = p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
        }
        return static_cast<std::int32_t>(word << 8) >> 8;
    }
};

// Scales, clips and widens one file value: truncation toward zero, clipped to the
// file's range, shifted to the 32-bit range. A product that is not a number gives
// silence. Clipping in floating point before truncating gives the same result as
// truncating and then clipping, since both bounds are integers.
template <std::uint32_t Width>
inline SampleValue scaledNumber(std::int32_t value, float volume) {
    using W = FileWidth<Width>;
    // Assigning to a float rounds to single precision even where the FPU keeps more.
    float product = static_cast<float>(value) * volume;
    product = product < W::kLow ? W::kLow : product;
    product = product > W::kHigh ? W::kHigh : product;
    return static_cast<SampleValue>(static_cast<std::uint32_t>(static_cast<std::int32_t>(product)) << W::kShift);
}

// A volume whose products are all numbers, giving the same clipped results: NaN
// silences, and an infinite volume clips like the largest finite one, also for a
// value of 0 (whose product with infinity would not be a number).
inline float numericVolume(float volume) {
    if (volume != volume) return 0.0f;
    return std::clamp(volume, -std::numeric_limits<float>::max(), std::numeric_limits<float>::max());
}

template <std::uint32_t Width>
inline SampleValue scaled(std::int32_t value, float volume) {
    return scaledNumber<Width>(value, numericVolume(volume));
}

#if defined(__SSE2__)
// Four frames at a time: the first sample of each as a plain value in a lane.
template <std::uint32_t Width, std::uint32_t Channels>
inline __m128i loadFour(const std::uint8_t* p, std::size_t stride) {
    __m128i words;
    if constexpr (Width * Channels == 4) {
        words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    } else {
        // Each sample loaded as a 32-bit word; bytes above the sample are dropped
        // below. The read buffer has room for the bytes past its last sample.
        const auto word = [](const std::uint8_t* at) {
            std::int32_t w;
            std::memcpy(&w, at, sizeof w);
            return _mm_cvtsi32_si128(w);
        };
        const __m128i low = _mm_unpacklo_epi32(word(p), word(p + stride));
        const __m128i high = _mm_unpacklo_epi32(word(p + 2 * stride), word(p + 3 * stride));
        words = _mm_unpacklo_epi64(low, high);
    }
    if constexpr (Width == 1) {
        // High byte b ^ 0x80, low byte 0xFF below 128: the low byte is 0xFF exactly
        // when the high byte's top bit is set.
        const __m128i high =
            _mm_slli_epi32(_mm_xor_si128(_mm_and_si128(words, _mm_set1_epi32(0xFF)), _mm_set1_epi32(0x80)), 24);
        const __m128i sign = _mm_srai_epi32(high, 31);
        const __m128i low = _mm_and_si128(sign, _mm_set1_epi32(0xFF));
        return _mm_or_si128(_mm_srai_epi32(high, 16), low);
    } else {
        constexpr int kDrop = 32 - 8 * static_cast<int>(Width);
        return _mm_srai_epi32(_mm_slli_epi32(words, kDrop), kDrop);
    }
}
#endif

// What a run writes, 4 bytes per frame in the machine's byte order: the value, or
// the value as a single-precision float of full scale +-1.0 (so on a little-endian
// machine, Int32LSB or Float32LSB samples).
enum class RunOutput { Value, Float };

constexpr float kFloatScale = 1.0f / 2147483648.0f;

template <RunOutput Output>
inline void storeOne(SampleValue value, std::uint8_t* out) {
    if constexpr (Output == RunOutput::Value) {
        std::memcpy(out, &value, sizeof value);
    } else {
        const float sample = static_cast<float>(value) * kFloatScale;
        std::memcpy(out, &sample, sizeof sample);
    }
}

// Converts the first sample of `frames` frames, without a branch per sample. A
// fixed channel count lets the compiler see the stride; 0 takes the frame size given
// at run time.
template <std::uint32_t Width, std::uint32_t Channels, RunOutput Output>
void convertRun(const std::uint8_t* in, std::size_t frameBytes, std::uint8_t* out, std::size_t frames, float volume) {
    const std::size_t stride = Channels != 0 ? std::size_t{Width} * Channels : frameBytes;
    volume = numericVolume(volume);
    std::size_t i = 0;
#if defined(__SSE2__)
    // A volume from 0 to 1 keeps every product within the file's range (rounding
    // cannot pass the sample it scales), so the run leaves the clipping out.
    const bool clip = !(volume >= 0.0f && volume <= 1.0f);
    const auto run = [&](auto clipping) {
        using W = FileWidth<Width>;
        const __m128 factor = _mm_set1_ps(volume);
        const __m128 low = _mm_set1_ps(W::kLow);
        const __m128 high = _mm_set1_ps(W::kHigh);
        for (; i + 4 <= frames; i += 4) {
            __m128 product = _mm_mul_ps(_mm_cvtepi32_ps(loadFour<Width, Channels>(in + i * stride, stride)), factor);
            if constexpr (decltype(clipping)::value) product = _mm_min_ps(_mm_max_ps(product, low), high);
            const __m128i clipped = _mm_cvttps_epi32(product);
            if constexpr (Output == RunOutput::Value) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), _mm_slli_epi32(clipped, W::kShift));
            } else {
                // The shift folded into the scale: both are exact powers of two.
                constexpr float kScale = kFloatScale * static_cast<float>(1u << W::kShift);
                _mm_storeu_ps(reinterpret_cast<float*>(out + 4 * i),
                              _mm_mul_ps(_mm_cvtepi32_ps(clipped), _mm_set1_ps(kScale)));
            }
        }
    };
    if (clip)
        run(std::true_type{});
    else
        run(std::false_type{});
#endif
    for (; i < frames; ++i)
        storeOne<Output>(scaledNumber<Width>(FileWidth<Width>::load(in + i * stride), volume), out + 4 * i);
}

template <std::uint32_t Width, RunOutput Output>
FrameConverter::Run runFor(std::uint32_t channels) {
    switch (channels) {
        case 1:
            return convertRun<Width, 1, Output>;
        case 2:
            return convertRun<Width, 2, Output>;
        default:
            return convertRun<Width, 0, Output>;
    }
}

template <RunOutput Output>
FrameConverter::Run runFor(std::uint32_t width, std::uint32_t channels) {
    return width == 1   ? runFor<1, Output>(channels)
           : width == 2 ? runFor<2, Output>(channels)
                        : runFor<3, Output>(channels);
}
}  // namespace

std::int32_t fileSampleValue(const std::uint8_t* bytes, std::uint32_t bytesPerSample) {
    switch (bytesPerSample) {
        case 1:
            return FileWidth<1>::load(bytes);
        case 2:
            return FileWidth<2>::load(bytes);
        case 3: {
            // Not through the 4-byte load: the caller's sample may be the last bytes it has.
            const std::uint32_t raw = bytes[0] | (bytes[1] << 8) | (static_cast<std::uint32_t>(bytes[2]) << 16);
            return static_cast<std::int32_t>(raw << 8) >> 8;
        }
        default:
            return 0;
    }
}

SampleValue scaledSampleValue(std::int32_t value, float volume, std::uint32_t bytesPerSample) {
    return bytesPerSample == 3 ? scaled<3>(value, volume) : scaled<2>(value, volume);
}

void writeOutputSample(std::int32_t value, float volume, std::uint32_t bytesPerSample, std::uint8_t* out) {
    const SampleValue v = scaledSampleValue(value, volume, bytesPerSample);
    layOutSamples(ASIOSTInt32LSB, &v, 1, out);
}

FrameConverter::~FrameConverter() { delete[] buffer_; }

bool FrameConverter::init(std::uint32_t bytesPerSample, std::uint32_t channels) {
    if (bytesPerSample < 1 || bytesPerSample > 3) return false;
    bytesPerSample_ = bytesPerSample;
    channels_ = std::max<std::uint32_t>(channels, 1);
    frameBytes_ = bytesPerSample * channels_;
    valueRun_ = runFor<RunOutput::Value>(bytesPerSample, channels_);
    floatRun_ = runFor<RunOutput::Float>(bytesPerSample, channels_);
    // Room for whole frames plus a chunk to read into, however wide the frame.
    const std::size_t capacity = std::max<std::size_t>(kReadChunk, 2 * static_cast<std::size_t>(frameBytes_));
    if (capacity != capacity_) {
        delete[] buffer_;
        buffer_ = new (std::nothrow) std::uint8_t[capacity + kLoadSlack]();
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

std::size_t FrameConverter::wholeFrames(std::size_t limit) {
    while (end_ - pos_ < frameBytes_ && refill()) {
    }
    return std::min({(end_ - pos_) / frameBytes_, limit, kVolumeRunFrames});
}

// The stream ended inside a frame: a sample of it still plays when it arrived whole.
SampleValue FrameConverter::cutFrameValue(std::uint32_t channel, float volume) const {
    const std::size_t at = std::size_t{channel} * bytesPerSample_;
    if (end_ - pos_ < at + bytesPerSample_) return 0;
    return scaledSampleValue(fileSampleValue(buffer_ + pos_ + at, bytesPerSample_), volume, bytesPerSample_);
}

void FrameConverter::convertWith(Run run, bool floats, std::uint8_t* out, std::size_t frames, std::uint32_t channel,
                                 const std::atomic<float>& volume) {
    const std::uint8_t* const from = buffer_ + std::size_t{channel} * bytesPerSample_;
    for (std::size_t whole; frames > 0 && (whole = wholeFrames(frames)) > 0; frames -= whole) {
        run(from + pos_, frameBytes_, out, whole, volume.load(std::memory_order_relaxed));
        out += 4 * whole;
        pos_ += whole * frameBytes_;
    }
    if (frames == 0) return;
    // Past the end everything is silence: all bytes 0 in both outputs.
    const SampleValue value = cutFrameValue(channel, volume.load(std::memory_order_relaxed));
    floats ? storeOne<RunOutput::Float>(value, out) : storeOne<RunOutput::Value>(value, out);
    pos_ = end_;
    std::memset(out + 4, 0, 4 * (frames - 1));
}

bool FrameConverter::convertInto(const Target* targets, std::size_t count, std::size_t frames,
                                 const std::atomic<float>& volume) {
    if (count > kMaxTargets) return false;
    SampleLayoutFunction layOut[kMaxTargets];
    std::size_t width[kMaxTargets];
    for (std::size_t t = 0; t < count; ++t) {
        layOut[t] = sampleLayoutFor(targets[t].type);
        width[t] = sampleLayoutWidth(targets[t].type);
        if (layOut[t] == nullptr || targets[t].channel >= channels_) return false;
    }
    // Int32LSB or Float32LSB alone on a little-endian machine: the runs write the
    // samples themselves.
    if (count == 1 && std::endian::native == std::endian::little &&
        (targets[0].type == ASIOSTInt32LSB || targets[0].type == ASIOSTFloat32LSB)) {
        const bool floats = targets[0].type == ASIOSTFloat32LSB;
        convertWith(floats ? floatRun_ : valueRun_, floats, targets[0].out, frames, targets[0].channel, volume);
        return true;
    }
    // Each channel is converted for the first target that takes it and laid out for
    // every target that takes it.
    const auto firstOfItsChannel = [&](std::size_t t) {
        for (std::size_t e = 0; e < t; ++e)
            if (targets[e].channel == targets[t].channel) return false;
        return true;
    };
    const auto layOutChannel = [&](std::size_t first, const SampleValue* values, std::size_t n, std::size_t at) {
        for (std::size_t t = first; t < count; ++t)
            if (targets[t].channel == targets[first].channel) layOut[t](values, n, targets[t].out + at * width[t]);
    };
    SampleValue values[kVolumeRunFrames];
    std::size_t done = 0;
    for (std::size_t whole; done < frames && (whole = wholeFrames(frames - done)) > 0; done += whole) {
        const float v = volume.load(std::memory_order_relaxed);
        for (std::size_t t = 0; t < count; ++t) {
            if (!firstOfItsChannel(t)) continue;
            valueRun_(buffer_ + pos_ + std::size_t{targets[t].channel} * bytesPerSample_, frameBytes_,
                      reinterpret_cast<std::uint8_t*>(values), whole, v);
            layOutChannel(t, values, whole, done);
        }
        pos_ += whole * frameBytes_;
    }
    if (done == frames) return true;
    // Past the end everything is silence, which is all bytes 0 in every type.
    const float v = volume.load(std::memory_order_relaxed);
    for (std::size_t t = 0; t < count; ++t) {
        const SampleValue value = cutFrameValue(targets[t].channel, v);
        layOut[t](&value, 1, targets[t].out + done * width[t]);
        std::memset(targets[t].out + (done + 1) * width[t], 0, (frames - done - 1) * width[t]);
    }
    pos_ = end_;
    return true;
}

void FrameConverter::convert(std::uint8_t* out, std::size_t frames, const std::atomic<float>& volume) {
    const Target target{ASIOSTInt32LSB, out};
    convertInto(&target, 1, frames, volume);
}

}  // namespace asiochan
