#include "engine/channel_reset.h"

#include "engine/period_guard.h"
#include "platform/platform.h"

namespace asiochan {

std::atomic<ChannelMask> playbackWithdrawn{0};
std::atomic<ChannelMask> captureWithdrawn{0};

std::atomic<std::uint8_t> playbackClaims[64]{};
std::atomic<std::uint8_t> captureClaims[64]{};

ChannelClaim::ChannelClaim(std::atomic<std::uint8_t>* claims, ChannelMask channels)
    : claims_(claims), channels_(channels) {
    for (std::uint32_t i = 0; i < 64; ++i) {
        if (!hasChannel(channels, i)) continue;
        // Held only for the few stores of one call (and a bounded wait for a
        // period), so a short spin with yields serves.
        while (claims_[i].exchange(1, std::memory_order_acquire) != 0) platform::yieldThread();
    }
}

ChannelClaim::~ChannelClaim() {
    for (std::uint32_t i = 0; i < 64; ++i)
        if (hasChannel(channels_, i)) claims_[i].store(0, std::memory_order_release);
}

bool withdrawChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels) {
    withdrawn.fetch_or(channels, std::memory_order_seq_cst);
    return waitForPeriodsInFlight();
}

void returnChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels) {
    withdrawn.fetch_and(~channels, std::memory_order_release);
}

}  // namespace asiochan
