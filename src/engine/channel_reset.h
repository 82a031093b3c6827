// The claims application threads hold on channel records while they change them.
// Private to the engine's own sources.
#pragma once

#include "engine/engine.h"

namespace asiochan {

// Holds the claims of `channels` until it goes out of scope. A call on one
// channel shares the direction's lock and holds that channel's own; a call on
// more channels holds the direction's lock alone, which keeps every one-channel
// call of the direction out. The period processing never takes a claim.
class Engine::ChannelClaim {
public:
    ChannelClaim(ChannelClaims& claims, ChannelMask channels);
    ~ChannelClaim();
    ChannelClaim(const ChannelClaim&) = delete;
    ChannelClaim& operator=(const ChannelClaim&) = delete;

private:
    ChannelClaims& claims_;
    int channel_;  // the one channel claimed, or -1 for the direction
};

}  // namespace asiochan
