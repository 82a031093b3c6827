// The claims application threads hold on channel records while they change them.
// Private to the engine's own sources.
#pragma once

#include "engine/engine.h"

namespace asiochan {

// Holds the claims of `channels`, taken lowest channel first, until it goes out of
// scope. The period processing never takes a claim.
class Engine::ChannelClaim {
public:
    ChannelClaim(platform::Mutex* claims, ChannelMask channels);
    ~ChannelClaim();
    ChannelClaim(const ChannelClaim&) = delete;
    ChannelClaim& operator=(const ChannelClaim&) = delete;

private:
    platform::Mutex* claims_;
    ChannelMask channels_;
};

}  // namespace asiochan
