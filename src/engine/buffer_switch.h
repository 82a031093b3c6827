// The per-period processing, called by the driver on its own real-time thread:
// input half-buffers into armed capture channels, busy playback channels into
// output half-buffers, then the channels' bookkeeping.
#pragma once

#include <cstdint>

#include "driver/asio_types.h"

namespace asiochan {

void ASIOCHAN_CDECL bufferSwitch(AsioLong doubleBufferIndex, ASIOBool directProcess);
ASIOTime* ASIOCHAN_CDECL bufferSwitchTimeInfo(ASIOTime* timeInfo, AsioLong doubleBufferIndex,
                                              ASIOBool directProcess);

// Writes "D:\buffer_debug_<channel>_output.dat" from `userStart` and
// "D:\buffer_debug_<channel>_internal.dat" from `copyStart`, `byteLength` bytes
// each; a null start makes an empty file, a file that cannot be opened is skipped.
void WriteCaptureDump(std::uint32_t channel, const std::uint8_t* userStart, const std::uint8_t* copyStart,
                      std::int32_t byteLength);

}  // namespace asiochan
