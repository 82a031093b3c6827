#include "wav/player_word.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace cli {

namespace {
std::int32_t wideWord(const std::uint8_t* sample, bool isFloat, float volume) {
    const std::uint32_t bits = static_cast<std::uint32_t>(sample[0]) | static_cast<std::uint32_t>(sample[1]) << 8 |
                               static_cast<std::uint32_t>(sample[2]) << 16 |
                               static_cast<std::uint32_t>(sample[3]) << 24;
    double value = static_cast<std::int32_t>(bits);
    if (isFloat) {
        float f;
        std::memcpy(&f, &bits, sizeof f);
        value = static_cast<double>(f) * 2147483648.0;
    }
    const double scaled = std::floor(value * static_cast<double>(volume) + 0.5);
    if (!(scaled == scaled)) return 0;  // a NaN sample or volume silences
    if (scaled <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    if (scaled >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(scaled);
}
}  // namespace

bool hasPlayerWords(unsigned bits, unsigned sampleFormat) {
    return bits == 8 || bits == 16 || bits == 24 || (bits == 32 && (sampleFormat == 1 || sampleFormat == 3));
}

std::int32_t playerWord(const std::uint8_t* sample, unsigned width, float volume, bool isFloat) {
    if (width == 4) return wideWord(sample, isFloat, volume);
    std::int32_t value = 0;
    float low = -32768.0f, high = 32767.0f;
    int shift = 16;
    if (width == 1) {
        // Unsigned: the high byte is b ^ 0x80, the low byte 0xFF below 128.
        const std::uint32_t b = sample[0];
        value = static_cast<std::int16_t>(static_cast<std::uint16_t>(((b ^ 0x80u) << 8) | (b < 128 ? 0xFFu : 0u)));
    } else if (width == 2) {
        value = static_cast<std::int16_t>(static_cast<std::uint16_t>(sample[0] | sample[1] << 8));
    } else {
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(sample[0]) << 8 |
                                          static_cast<std::uint32_t>(sample[1]) << 16 |
                                          static_cast<std::uint32_t>(sample[2]) << 24) >>
                8;
        low = -8388608.0f;
        high = 8388607.0f;
        shift = 8;
    }
    // As the players do: NaN silences, an infinite volume clips like the largest one.
    if (volume != volume) volume = 0.0f;
    if (volume > std::numeric_limits<float>::max()) volume = std::numeric_limits<float>::max();
    float product = static_cast<float>(value) * volume;
    product = product < low ? low : product;
    product = product > high ? high : product;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int32_t>(product)) << shift);
}

}  // namespace cli
