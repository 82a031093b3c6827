// The single-channel file player: streams the first channel of a WAV file to one
// output channel, once or in a loop, at a volume of its own.
#pragma once

#include <atomic>
#include <cstdint>

#include "fileplay/player_worker.h"
#include "platform/abi.h"

extern "C" {
// 1 when the worker was started; 0 when the player is in play or still busy, the
// channel is not an output channel of the engine, the name is null or 200 bytes or
// longer, or the file is not playable (8, 16 or 24 bits, nonzero rate).
std::uint8_t ASIOCHAN_CDECL SingleChanelPlayStart(const char* path, std::uint32_t channel, std::uint8_t loop);
// Clears run and in-play at once; the worker gives the channel back within a poll.
void ASIOCHAN_CDECL SingleChanelPlayStop();
// 1 when stored; 0 for a negative or non-finite volume, which leaves it as it was.
std::uint8_t ASIOCHAN_CDECL SingleChanelSetVolume(float volume);
std::uint8_t ASIOCHAN_CDECL IsSingleInPlay();
}

namespace asiochan {

struct SingleChannelPlayer {
    std::atomic<std::uint32_t> channel{0};
    FilePlayerCore core{nullptr};  // core.volume is the single-channel volume
};

extern SingleChannelPlayer singleChannelPlayer;

}  // namespace asiochan
