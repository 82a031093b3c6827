#include "engine/channel_reset.h"

#include "engine/period_guard.h"

namespace asiochan {

std::atomic<ChannelMask> playbackWithdrawn{0};
std::atomic<ChannelMask> captureWithdrawn{0};

bool withdrawChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels) {
    withdrawn.fetch_or(channels, std::memory_order_seq_cst);
    return waitForPeriodsInFlight();
}

void returnChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels) {
    withdrawn.fetch_and(~channels, std::memory_order_release);
}

}  // namespace asiochan
