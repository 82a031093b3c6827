// The playback channel service as the file players use it: the engine's own
// operations, or a stand-in a test gives a player.
#pragma once

#include <cstdint>

namespace asiochan {

class PlaybackPort {
public:
    virtual std::int32_t setPlayBuffer(const void* data, std::int32_t byteLength, std::uint32_t channel) = 0;
    // The same for samples laid out for the run of `shape` (see Engine::shape):
    // refused with ASE_InvalidMode, nothing queued, once the shape has changed.
    virtual std::int32_t setPlayBufferOfShape(const void* data, std::int32_t byteLength, std::uint32_t channel,
                                              std::uint32_t shape) = 0;
    virtual std::uint8_t canSendNext(std::uint32_t channel) = 0;
    virtual void startPlayback() = 0;
    // Gives a channel back: sets its canSendNext flag and, while playback runs,
    // drops its blocks and leaves it idle.
    virtual void releasePlaybackChannel(std::uint32_t channel) = 0;

protected:
    ~PlaybackPort() = default;
};

}  // namespace asiochan
