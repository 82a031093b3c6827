// Taking channel records back from the period processing without a lock on the
// callback thread. The application marks the channels as withdrawn and waits for
// the periods in flight; every later period leaves a withdrawn channel alone
// (silence on its output, its input untouched, no bookkeeping). The records can
// then be reset and their blocks released, and the channels are returned.
#include "engine/channel_reset.h"

namespace asiochan {

namespace {
// The channel of a mask of exactly one channel, else -1.
int onlyChannel(ChannelMask channels) {
    if (channels == 0 || (channels & (channels - 1)) != 0) return -1;
    int i = 0;
    while (!hasChannel(channels, static_cast<std::uint32_t>(i))) ++i;
    return i;
}
}  // namespace

Engine::ChannelClaim::ChannelClaim(ChannelClaims& claims, ChannelMask channels)
    : claims_(claims), channel_(onlyChannel(channels)) {
    if (channel_ < 0) {
        claims_.direction.lock();
    } else {
        claims_.direction.lockShared();
        claims_.channel[channel_].lock();
    }
}

Engine::ChannelClaim::~ChannelClaim() {
    if (channel_ < 0) {
        claims_.direction.unlock();
    } else {
        claims_.channel[channel_].unlock();
        claims_.direction.unlockShared();
    }
}

Engine::ShapeChange::ShapeChange(Engine& engine) : engine_(engine) {
    engine_.playbackClaims_.direction.lock();
    engine_.captureClaims_.direction.lock();
}

Engine::ShapeChange::~ShapeChange() {
    engine_.shape_.fetch_add(1, std::memory_order_acq_rel);
    engine_.captureClaims_.direction.unlock();
    engine_.playbackClaims_.direction.unlock();
}

bool Engine::withdrawChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels) {
    withdrawn.fetch_or(channels, std::memory_order_seq_cst);
    return periods_.waitForPeriodsInFlight();
}

void Engine::returnChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels) {
    withdrawn.fetch_and(~channels, std::memory_order_release);
}

}  // namespace asiochan
