// Taking channel records back from the period processing without a lock on the
// callback thread. The application marks the channels as withdrawn and waits for
// the periods in flight; every later period leaves a withdrawn channel alone
// (silence on its output, its input untouched, no bookkeeping). The records can
// then be reset and their blocks released, and the channels are returned.
#include "engine/channel_reset.h"

namespace asiochan {

Engine::ChannelClaim::ChannelClaim(platform::Mutex* claims, ChannelMask channels)
    : claims_(claims), channels_(channels) {
    for (std::uint32_t i = 0; i < kMaxChannels; ++i)
        if (hasChannel(channels_, i)) claims_[i].lock();
}

Engine::ChannelClaim::~ChannelClaim() {
    for (std::uint32_t i = kMaxChannels; i-- > 0;)
        if (hasChannel(channels_, i)) claims_[i].unlock();
}

bool Engine::withdrawChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels) {
    withdrawn.fetch_or(channels, std::memory_order_seq_cst);
    return periods_.waitForPeriodsInFlight();
}

void Engine::returnChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels) {
    withdrawn.fetch_and(~channels, std::memory_order_release);
}

}  // namespace asiochan
