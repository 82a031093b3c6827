// The two driver callbacks that answer questions and notifications; the period
// callbacks are in buffer_switch.h.
#pragma once

#include "driver/asio_types.h"

namespace asiochan {

AsioLong ASIOCHAN_CDECL asioMessage(AsioLong selector, AsioLong value, void* message, double* opt);
void ASIOCHAN_CDECL sampleRateDidChange(ASIOSampleRate rate);

}  // namespace asiochan
