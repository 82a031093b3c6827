// The four driver callbacks. They are plain C function pointers without user data,
// so they find the engine through the one pointer set here: the engine of the most
// recent Prepare. Reading it is a single atomic load; nothing here locks or waits.
#pragma once

#include "driver/asio_types.h"

namespace asiochan {

class Engine;

// Makes `engine` the one the callbacks serve (Prepare does, before it creates
// buffers); null stops them serving any.
void routeCallbacksTo(Engine* engine);
// Clears the route if it leads to `engine` (an engine going away).
void unrouteCallbacks(Engine* engine);

// The table a Prepare hands to the driver.
ASIOCallbacks engineCallbacks();

void ASIOCHAN_CDECL bufferSwitch(AsioLong doubleBufferIndex, ASIOBool directProcess);
ASIOTime* ASIOCHAN_CDECL bufferSwitchTimeInfo(ASIOTime* timeInfo, AsioLong doubleBufferIndex, ASIOBool directProcess);
AsioLong ASIOCHAN_CDECL asioMessage(AsioLong selector, AsioLong value, void* message, double* opt);
void ASIOCHAN_CDECL sampleRateDidChange(ASIOSampleRate rate);

}  // namespace asiochan
