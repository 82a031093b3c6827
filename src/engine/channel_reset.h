// Taking channel records back from the period processing without a lock on the
// callback thread. The application marks the channels as withdrawn and waits for
// the periods in flight; every later period leaves a withdrawn channel alone
// (silence on its output, its input untouched, no bookkeeping). The records can
// then be reset and their blocks released, and the channels are returned.
// If the wait gives up, blocks are dropped unreleased: a leak, never a release of
// memory a period may still use.
#pragma once

#include <atomic>
#include <cstdint>

namespace asiochan {

using ChannelMask = std::uint64_t;  // bit i = channel i
constexpr ChannelMask kAllChannels = ~ChannelMask{0};
inline ChannelMask channelsBelow(std::int32_t count) {
    if (count <= 0) return 0;
    if (count >= 64) return kAllChannels;
    return (ChannelMask{1} << count) - 1;
}
inline bool hasChannel(ChannelMask mask, std::uint32_t channel) { return (mask >> channel) & 1u; }

extern std::atomic<ChannelMask> playbackWithdrawn;
extern std::atomic<ChannelMask> captureWithdrawn;

// Marks `channels` withdrawn and waits for the periods in flight; true when none
// is left, false when the wait gave up.
bool withdrawChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels);
// Hands `channels` back to the period processing.
void returnChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels);

// Application threads among themselves: a call on one channel (SetPlayBuffer from
// a file player's worker, say) and a call covering many (StopPlayback, Finish,
// Prepare from the application) must not interleave on a record. Each such call
// holds the channel's claim while it changes the record; the claims of a mask are
// taken lowest channel first. The period processing never takes a claim, so the
// callback still waits for nobody.
extern std::atomic<std::uint8_t> playbackClaims[64];
extern std::atomic<std::uint8_t> captureClaims[64];

class ChannelClaim {
public:
    ChannelClaim(std::atomic<std::uint8_t>* claims, ChannelMask channels);
    ~ChannelClaim();
    ChannelClaim(const ChannelClaim&) = delete;
    ChannelClaim& operator=(const ChannelClaim&) = delete;

private:
    std::atomic<std::uint8_t>* claims_;
    ChannelMask channels_;
};

// Each chosen playback record ends idle with no block, its canSendNext flag at 1.
// Takes the channels' claims itself.
void resetPlaybackChannels(ChannelMask channels);
// Each chosen capture record ends free (`done` 1) with no shadow copy. Takes the
// channels' claims itself.
void resetCaptureChannels(ChannelMask channels);

}  // namespace asiochan
