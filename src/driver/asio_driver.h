// The driver object as ASIO drivers lay it out: three COM IUnknown slots followed
// by the driver's own plain virtual member functions, in the published order.
#pragma once

#include "driver/asio_types.h"
#include "platform/platform.h"

namespace asiochan {

class IASIO {
public:
    virtual std::int32_t ASIOCHAN_COMCALL QueryInterface(const platform::ClassId& iid, void** object) = 0;
    virtual std::uint32_t ASIOCHAN_COMCALL AddRef() = 0;
    virtual std::uint32_t ASIOCHAN_COMCALL Release() = 0;

    virtual ASIOBool init(void* sysHandle) = 0;
    virtual void getDriverName(char* name) = 0;
    virtual AsioLong getDriverVersion() = 0;
    virtual void getErrorMessage(char* string) = 0;
    virtual ASIOError start() = 0;
    virtual ASIOError stop() = 0;
    virtual ASIOError getChannels(AsioLong* numInputChannels, AsioLong* numOutputChannels) = 0;
    virtual ASIOError getLatencies(AsioLong* inputLatency, AsioLong* outputLatency) = 0;
    virtual ASIOError getBufferSize(AsioLong* minSize, AsioLong* maxSize, AsioLong* preferredSize,
                                    AsioLong* granularity) = 0;
    virtual ASIOError canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError setSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getClockSources(ASIOClockSource* clocks, AsioLong* numSources) = 0;
    virtual ASIOError setClockSource(AsioLong reference) = 0;
    virtual ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
    virtual ASIOError getChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError createBuffers(ASIOBufferInfo* bufferInfos, AsioLong numChannels, AsioLong bufferSize,
                                    ASIOCallbacks* callbacks) = 0;
    virtual ASIOError disposeBuffers() = 0;
    virtual ASIOError controlPanel() = 0;
    virtual ASIOError future(AsioLong selector, void* opt) = 0;
    virtual ASIOError outputReady() = 0;

protected:
    // Drivers are released through Release(), never deleted through this interface.
    ~IASIO() = default;
};

}  // namespace asiochan
