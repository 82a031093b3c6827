// What one period of the driver works with, taken once at its start. Private to
// the period processing (buffer_switch.cpp, stream_period.cpp).
#pragma once

#include <cstdint>

#include "engine/engine.h"

namespace asiochan {

struct Engine::Period {
    std::int64_t frames;
    std::int64_t captureBytes;
    std::int64_t playbackBytes;
    std::int32_t inputSampleSize;
    bool playbackRunning;
    bool captureRunning;
    // Channels an application thread is taking back: left alone for the whole period.
    ChannelMask outWithdrawn;
    ChannelMask inWithdrawn;
    // The key field each channel with a driver buffer was serviced with; the
    // bookkeeping advances such a channel only if it still holds that value, so a
    // channel armed while the period runs starts cleanly with the next one.
    std::uint8_t* servedOut[kMaxChannels];
    std::uint8_t* servedIn[kMaxChannels];
    bool hasOut[kMaxChannels];
    bool hasIn[kMaxChannels];
    // Each input's half-buffer of this period (null without one), and each
    // stream output's (the stream's step writes it).
    std::uint8_t* inHalf[kMaxChannels];
    std::uint8_t* outHalf[kMaxChannels];
    // The channels the stream holds: no channel service touches them.
    ChannelMask streamIn;
    ChannelMask streamOut;
    // The queued block a join took bytes from, and how many. The application may
    // queue a block after the join looked (and found none); the promotion must
    // then start that block at its beginning, not skip bytes nobody heard.
    std::uint8_t* joinedNext[kMaxChannels];
    std::int64_t joinedBytes[kMaxChannels];
};

}  // namespace asiochan
