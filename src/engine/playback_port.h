// The playback channel service as the file players use it, with what they ask
// about the prepared run: the engine's own operations, or a stand-in a test gives
// a player.
#pragma once

#include <cstdint>

#include "driver/asio_types.h"
#include "driver/channel_mask.h"

namespace asiochan {

class PlaybackPort {
public:
    // The prepared run. True while one is prepared.
    virtual bool runPrepared() const = 0;
    // Counts the ends of shape changes: two reads that give the same number saw
    // the same shape of run, and the same prepared run if any.
    virtual std::uint32_t shape() const = 0;
    // One look at the prepared run for the outputs `channels`: true when a run is
    // prepared and the periods feed every one of them whole, with each one's sample
    // type (as the run's Prepare learnt it) in `types[channel]` and the shape they
    // belong to in `shape`. False when no run is prepared, or a channel is at or
    // beyond the run's outputs, its query failed, its type has no width, or its
    // width differs from the other outputs' (the period processing skips such a
    // channel).
    virtual bool fedOutputTypes(ChannelMask channels, ASIOSampleType (&types)[kMaxChannels],
                                std::uint32_t& shape) const = 0;

    // The channels.
    virtual std::int32_t setPlayBuffer(const void* data, std::int32_t byteLength, std::uint32_t channel) = 0;
    // The same for samples laid out for the run of `shape` (see shape()):
    // refused with ASE_InvalidMode, nothing queued, once the shape has changed.
    virtual std::int32_t setPlayBufferOfShape(const void* data, std::int32_t byteLength, std::uint32_t channel,
                                              std::uint32_t shape) = 0;
    virtual std::uint8_t canSendNext(std::uint32_t channel) = 0;
    virtual void startPlayback() = 0;
    // Gives a channel back: sets its canSendNext flag and, while playback runs,
    // drops its blocks and leaves it idle.
    virtual void releasePlaybackChannel(std::uint32_t channel) = 0;
    // A player's start holds its outputs from the start on, before its first
    // block: false (nothing held) when one of them is the stream's. Held until
    // released; a stream cannot open on a held output meanwhile.
    virtual bool holdOutputs(ChannelMask /*channels*/) { return true; }
    virtual void releaseOutputs(ChannelMask /*channels*/) {}

protected:
    ~PlaybackPort() = default;
};

}  // namespace asiochan
