// Playback channels: two-deep queues of engine-owned blocks per output channel.
#pragma once

#include <cstdint>

#include "platform/abi.h"

extern "C" {
std::int32_t ASIOCHAN_CDECL SetPlayBuffer(const void* data, std::int32_t byteLength, std::uint32_t channel);
std::int32_t ASIOCHAN_CDECL PlayBuff();
void ASIOCHAN_CDECL StartPlayback();
void ASIOCHAN_CDECL StopPlayback();
std::uint8_t ASIOCHAN_CDECL IsCanSendNextPlaybackBuffer(std::uint32_t channel);
std::uint8_t ASIOCHAN_CDECL IsPortPlaybackRunning(std::uint32_t channel);
}

namespace asiochan {

// Gives a channel back (used by the file players): sets its canSendNext flag and,
// while playback runs, drops its blocks and leaves it idle.
void ReleasePlaybackChannel(std::uint32_t channel);

}  // namespace asiochan
