// Taking channel records back from the period processing: the key field of
// each chosen record is cleared first, then the caller waits for the periods in
// flight, and only then are the record's blocks released and its fields reset.
// If that wait gives up, the blocks are dropped unreleased (a leak, never a
// release of memory a period may still use).
#pragma once

#include <cstdint>

namespace asiochan {

using ChannelMask = std::uint64_t;  // bit i = channel i
constexpr ChannelMask kAllChannels = ~ChannelMask{0};
inline ChannelMask channelsBelow(std::int32_t count) {
    if (count <= 0) return 0;
    if (count >= 64) return kAllChannels;
    return (ChannelMask{1} << count) - 1;
}

// Each chosen playback record ends idle with no block, its canSendNext flag at 1.
void resetPlaybackChannels(ChannelMask channels);
// Each chosen capture record ends free (`done` 1) with no shadow copy.
void resetCaptureChannels(ChannelMask channels);

}  // namespace asiochan
