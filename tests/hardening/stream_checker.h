// The soak's check of what reached the driver's output half-buffers, shared by the
// host soak (run on the driver's thread after every period) and the Wine soak
// (run over the recorded periods of each run).
//
// The application channels carry counted 32-bit words: the channel in the top
// byte, a count from 1 below it. The players play a 24-bit mono file whose
// samples are 1, 2, ... kFileSamples, which come out as the words v << 8. Every
// nonzero word must continue its channel's sequence; silence (0) is allowed
// anywhere, because a feeder may fall behind. After a stop drops queued blocks a
// period is checked "loosely": its words only set where the sequence continues.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace asiochan::hardening {

constexpr int kAppChannels = 4;                // outputs and inputs 0..3
constexpr std::uint32_t kSingleChannel = 5;    // the single-channel player's output
constexpr std::uint32_t kMultiChannel = 6;     // the multi-channel player's output
constexpr std::uint32_t kFileRate = 32000;     // blocks of 64000 samples
constexpr std::uint32_t kFileSamples = 96000;  // a pass: one and a half blocks

inline std::uint32_t appWord(int ch, std::uint32_t n) { return (static_cast<std::uint32_t>(ch + 1) << 24) | n; }
inline std::uint32_t nextCount(std::uint32_t n) { return n == 0xffffff ? 1 : n + 1; }
inline std::uint32_t fileWord(std::uint32_t index) { return (index + 1) << 8; }

// The sample bytes of the players' file.
template <typename Bytes>
Bytes soakFileSamples() {
    Bytes samples;
    for (std::uint32_t i = 0; i < kFileSamples; ++i)
        for (int b = 0; b < 3; ++b) samples.push_back(static_cast<std::uint8_t>((i + 1) >> (8 * b)));
    return samples;
}

class StreamChecker {
public:
    // One period of output `channel` (`bytes` long); other channels are ignored.
    // A period that is not strict only sets where each sequence goes on; the first
    // word after it may be anywhere in the sequence too.
    void check(std::uint32_t channel, const std::uint8_t* half, std::size_t bytes, bool strict) {
        if (channel < kAppChannels)
            checkApp(app_[channel], static_cast<int>(channel), half, bytes, strict);
        else if (channel == kSingleChannel)
            checkPlayer(single_, channel, half, bytes, strict);
        else if (channel == kMultiChannel)
            checkPlayer(multi_, channel, half, bytes, strict);
    }

    void countPeriod() { periods.fetch_add(1, std::memory_order_release); }

    std::atomic<std::uint64_t> periods{0};
    std::atomic<std::uint64_t> wordsPlayed{0};
    std::atomic<std::uint64_t> wordsSilent{0};
    std::atomic<std::uint64_t> faults{0};
    char firstFault[160] = {};

private:
    struct Channel {
        bool pending = true;  // the next word may be any of the sequence
        std::uint32_t expected = 0;
    };

    void fault(const char* what, std::uint32_t channel, std::uint32_t got, std::uint32_t expected) {
        if (faults.fetch_add(1) == 0)
            std::snprintf(firstFault, sizeof firstFault, "%s on output %u at period %llu: 0x%08x, expected 0x%08x",
                          what, channel, static_cast<unsigned long long>(periods.load()), got, expected);
    }

    void checkApp(Channel& c, int ch, const std::uint8_t* half, std::size_t bytes, bool strict) {
        if (!strict) c.pending = true;
        for (std::size_t i = 0; i + 4 <= bytes; i += 4) {
            std::uint32_t w;
            std::memcpy(&w, half + i, 4);
            if (w == 0) {
                wordsSilent.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            wordsPlayed.fetch_add(1, std::memory_order_relaxed);
            if ((w >> 24) != static_cast<std::uint32_t>(ch + 1))
                fault("a foreign sample", static_cast<std::uint32_t>(ch), w, appWord(ch, c.expected));
            else if (!c.pending && w != appWord(ch, c.expected))
                fault("out of order", static_cast<std::uint32_t>(ch), w, appWord(ch, c.expected));
            c.pending = !strict;
            c.expected = nextCount(w & 0xffffff);
        }
    }

    void checkPlayer(Channel& c, std::uint32_t channel, const std::uint8_t* half, std::size_t bytes, bool strict) {
        if (!strict) c.pending = true;
        for (std::size_t i = 0; i + 4 <= bytes; i += 4) {
            std::uint32_t w;
            std::memcpy(&w, half + i, 4);
            if (w == 0) {
                wordsSilent.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            wordsPlayed.fetch_add(1, std::memory_order_relaxed);
            const std::uint32_t index = (w >> 8) - 1;
            if ((w & 0xff) != 0 || index >= kFileSamples)
                fault("not a file sample", channel, w, fileWord(c.expected));
            else if (!c.pending && index != c.expected)
                fault("file out of order", channel, w, fileWord(c.expected));
            c.pending = !strict;
            c.expected = (index + 1) % kFileSamples;
        }
    }

    Channel app_[kAppChannels];
    Channel single_, multi_;
};

}  // namespace asiochan::hardening
