// The one road from the engine to the loaded driver. Each function reads
// `currentDriver` once; with no driver loaded it writes fixed defaults into its
// out-parameters and answers ASE_NotPresent.
#pragma once

#include <atomic>

#include "driver/asio_driver.h"

namespace asiochan {

// The loaded driver object, or null. Set and cleared by the driver list; the
// call layer itself only clears it when a driver refuses `init`.
extern std::atomic<IASIO*> currentDriver;

ASIOError ASIOInit(ASIODriverInfo* info);
ASIOError ASIOStart();
ASIOError ASIOStop();
ASIOError ASIOGetChannels(AsioLong* numInputChannels, AsioLong* numOutputChannels);
ASIOError ASIOGetLatencies(AsioLong* inputLatency, AsioLong* outputLatency);
ASIOError ASIOGetBufferSize(AsioLong* minSize, AsioLong* maxSize, AsioLong* preferredSize, AsioLong* granularity);
ASIOError ASIOGetSampleRate(ASIOSampleRate* currentRate);
ASIOError ASIOSetSampleRate(ASIOSampleRate sampleRate);
ASIOError ASIOGetSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp);
ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, AsioLong numChannels, AsioLong bufferSize,
                            ASIOCallbacks* callbacks);
ASIOError ASIODisposeBuffers();
ASIOError ASIOOutputReady();

}  // namespace asiochan

// Exported unchanged to the application.
extern "C" {
asiochan::ASIOError ASIOCHAN_CDECL ASIOControlPanel();
asiochan::ASIOError ASIOCHAN_CDECL ASIOGetChannelInfo(asiochan::ASIOChannelInfo* info);
}

namespace asiochan {
using ::ASIOControlPanel;
using ::ASIOGetChannelInfo;
}  // namespace asiochan

// Fixed texts written when there is no driver to ask.
namespace asiochan::texts {
inline constexpr char kNoDriverName[] = "No ASIO Driver";
inline constexpr char kNoDriverError[] = "No ASIO Driver Error";
inline constexpr char kNoChannelName[] = "None";
}  // namespace asiochan::texts
