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

// Shares a direction's lock without claiming a channel: a look at the shape that
// no lifecycle call can change meanwhile, while channel calls go on.
class ShapeLook {
public:
    explicit ShapeLook(platform::Mutex& direction) : direction_(direction) { direction_.lockShared(); }
    ~ShapeLook() { direction_.unlockShared(); }
    ShapeLook(const ShapeLook&) = delete;
    ShapeLook& operator=(const ShapeLook&) = delete;

private:
    platform::Mutex& direction_;
};

}  // namespace asiochan
