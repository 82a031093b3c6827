#include "simdriver/core/input_pattern.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace asiochan::sim {

namespace {
// The pattern of byte offset `offset` is the XOR of the four low bytes of x, the
// offset moved on by a step per channel: it differs between neighbouring bytes,
// between channels and between periods.
std::uint64_t patternX(std::int32_t channel, std::uint64_t offset) {
    return offset + 0x9e37u * static_cast<std::uint64_t>(channel + 1);
}

std::uint8_t highBytes(std::uint64_t x) { return static_cast<std::uint8_t>((x >> 8) ^ (x >> 16) ^ (x >> 24)); }

constexpr std::array<std::uint8_t, 256> kRamp = [] {
    std::array<std::uint8_t, 256> ramp{};
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(i);
    return ramp;
}();
}  // namespace

std::uint8_t inputPatternByte(std::int32_t channel, std::uint64_t offset) {
    const std::uint64_t x = patternX(channel, offset);
    return static_cast<std::uint8_t>(x ^ highBytes(x));
}

void fillInputPattern(std::int32_t channel, std::uint64_t offset, std::uint8_t* out, std::size_t bytes) {
    // Within a run of x whose bytes above the lowest stay the same, the pattern is
    // the low byte (a ramp) XOR one constant: a 256-byte run at most, filled a word
    // at a time.
    std::uint64_t x = patternX(channel, offset);
    while (bytes > 0) {
        const std::size_t low = static_cast<std::size_t>(x & 0xffu);
        const std::size_t n = std::min<std::size_t>(bytes, kRamp.size() - low);
        const std::uint8_t high = highBytes(x);
        const std::uint64_t spread = 0x0101010101010101ull * high;
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, kRamp.data() + low + i, 8);
            word ^= spread;
            std::memcpy(out + i, &word, 8);
        }
        for (; i < n; ++i) out[i] = static_cast<std::uint8_t>(kRamp[low + i] ^ high);
        out += n;
        bytes -= n;
        x += n;
    }
}

}  // namespace asiochan::sim
