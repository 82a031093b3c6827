// The channels the library serves in each direction, 0..63 (a driver that reports
// more has the rest left out), and sets of them as bit masks.
#pragma once

#include <cstdint>

namespace asiochan {

constexpr int kMaxChannels = 64;  // records per direction, channels 0..63

using ChannelMask = std::uint64_t;  // bit i = channel i
static_assert(sizeof(ChannelMask) * 8 == kMaxChannels);
constexpr ChannelMask kAllChannels = ~ChannelMask{0};
inline ChannelMask channelsBelow(std::int32_t count) {
    if (count <= 0) return 0;
    if (count >= kMaxChannels) return kAllChannels;
    return (ChannelMask{1} << count) - 1;
}
inline bool hasChannel(ChannelMask mask, std::uint32_t channel) { return (mask >> channel) & 1u; }

}  // namespace asiochan
