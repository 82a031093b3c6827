// The one road from the engine to the loaded driver. Each call reads the current
// driver once; with no driver loaded it writes fixed defaults into its
// out-parameters and answers ASE_NotPresent. The member functions keep the
// published ASIO host names.
#pragma once

#include <atomic>

#include "driver/asio_driver.h"

namespace asiochan {

class DriverCalls {
public:
    // The loaded driver object, or null. Set and cleared by the driver session;
    // the call layer itself only clears it when a driver refuses `init`.
    IASIO* current() const { return current_.load(std::memory_order_acquire); }
    void setCurrent(IASIO* driver) { current_.store(driver, std::memory_order_release); }

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
    ASIOError ASIOControlPanel();
    // A null `info` is an application's careless call: ASE_InvalidParameter.
    ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info);

private:
    // Read by the driver's callback thread (sample position, output ready) and by
    // application threads; written by the driver session and by ASIOInit.
    std::atomic<IASIO*> current_{nullptr};
};

// Fixed texts written when there is no driver to ask.
namespace texts {
inline constexpr char kNoDriverName[] = "No ASIO Driver";
inline constexpr char kNoDriverError[] = "No ASIO Driver Error";
inline constexpr char kNoChannelName[] = "None";
}  // namespace texts

}  // namespace asiochan
