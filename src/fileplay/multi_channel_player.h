// The multi-channel file player: streams the first channel of a WAV file to every
// output channel of a mask (channels 0 to 31), once or in a loop, at a volume of
// its own.
#pragma once

#include <atomic>
#include <cstdint>

#include "fileplay/player_worker.h"
#include "platform/abi.h"

extern "C" {
// 1 when the worker was started; 0 when the player is in play or still busy, the
// mask is empty or names a channel at or beyond the engine's output channel count,
// an earlier player still holds its channels, the name is null or 200 bytes or
// longer, or the file is not playable.
std::uint8_t ASIOCHAN_CDECL MultipleChanelPlayStart(const char* path, std::uint32_t mask, std::uint8_t loop);
// Clears run and in-play at once; the worker gives the channels back within a poll.
void ASIOCHAN_CDECL MultipleChanelPlayStop();
// 1 when stored; 0 for a negative or non-finite volume, which leaves it as it was.
std::uint8_t ASIOCHAN_CDECL MultipleChanelSetVolume(float volume);
std::uint8_t ASIOCHAN_CDECL IsMultipleInPlay();
}

namespace asiochan {

struct MultiChannelPlayer {
    // Nonzero from a start until the worker gives the channels back: while it is
    // set, no other multi-channel start takes channels.
    std::atomic<std::uint32_t> channelMask{0};
    FilePlayerCore core{&channelMask};  // core.volume is the multi-channel volume
};

extern MultiChannelPlayer multiChannelPlayer;

}  // namespace asiochan
