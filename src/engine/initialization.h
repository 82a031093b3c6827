// Reading a loaded driver's capabilities, setting its sample rate, and the
// getters of what was read. All exported.
#pragma once

#include <cstdint>

#include "driver/asio_types.h"

extern "C" {
std::int32_t ASIOCHAN_CDECL Initialize();
std::int32_t ASIOCHAN_CDECL SetSampleRate(double rate);
std::int32_t ASIOCHAN_CDECL GetBufferSizeMax();
std::int32_t ASIOCHAN_CDECL GetBufferSizeMin();
std::int32_t ASIOCHAN_CDECL GetBufferSizePreferred();
double ASIOCHAN_CDECL GetCurrentSampleRate();
std::int32_t ASIOCHAN_CDECL GetInputChannelCount();
std::int32_t ASIOCHAN_CDECL GetOutputChannelCount();
std::int32_t ASIOCHAN_CDECL GetInputLatency();
std::int32_t ASIOCHAN_CDECL GetOutputLatency();
}
