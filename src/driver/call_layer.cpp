#include "driver/call_layer.h"

#include <cstring>

namespace asiochan {

ASIOError DriverCalls::ASIOInit(ASIODriverInfo* info) {
    info->driverVersion = 0;
    std::memcpy(info->name, texts::kNoDriverName, sizeof texts::kNoDriverName);
    IASIO* driver = current();
    if (driver == nullptr) return ASE_NotPresent;
    if (driver->init(info->sysRef) == ASIOFalse) {
        driver->getErrorMessage(info->errorMessage);
        // The driver list keeps its reference and releases the object later.
        setCurrent(nullptr);
        return ASE_NotPresent;
    }
    std::memcpy(info->errorMessage, texts::kNoDriverError, sizeof texts::kNoDriverError);
    driver->getDriverName(info->name);
    info->driverVersion = driver->getDriverVersion();
    return ASE_OK;
}

ASIOError DriverCalls::ASIOStart() {
    IASIO* driver = current();
    return driver ? driver->start() : ASE_NotPresent;
}

ASIOError DriverCalls::ASIOStop() {
    IASIO* driver = current();
    return driver ? driver->stop() : ASE_NotPresent;
}

ASIOError DriverCalls::ASIOGetChannels(AsioLong* numInputChannels, AsioLong* numOutputChannels) {
    IASIO* driver = current();
    if (driver) return driver->getChannels(numInputChannels, numOutputChannels);
    *numInputChannels = 0;
    *numOutputChannels = 0;
    return ASE_NotPresent;
}

ASIOError DriverCalls::ASIOGetLatencies(AsioLong* inputLatency, AsioLong* outputLatency) {
    IASIO* driver = current();
    if (driver) return driver->getLatencies(inputLatency, outputLatency);
    *inputLatency = 0;
    *outputLatency = 0;
    return ASE_NotPresent;
}

ASIOError DriverCalls::ASIOGetBufferSize(AsioLong* minSize, AsioLong* maxSize, AsioLong* preferredSize,
                                         AsioLong* granularity) {
    IASIO* driver = current();
    if (driver) return driver->getBufferSize(minSize, maxSize, preferredSize, granularity);
    *minSize = 0;
    *maxSize = 0;
    *preferredSize = 0;
    *granularity = 0;
    return ASE_NotPresent;
}

ASIOError DriverCalls::ASIOGetSampleRate(ASIOSampleRate* currentRate) {
    IASIO* driver = current();
    return driver ? driver->getSampleRate(currentRate) : ASE_NotPresent;
}

ASIOError DriverCalls::ASIOSetSampleRate(ASIOSampleRate sampleRate) {
    IASIO* driver = current();
    return driver ? driver->setSampleRate(sampleRate) : ASE_NotPresent;
}

ASIOError DriverCalls::ASIOGetSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    IASIO* driver = current();
    return driver ? driver->getSamplePosition(sPos, tStamp) : ASE_NotPresent;
}

ASIOError DriverCalls::ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, AsioLong numChannels, AsioLong bufferSize,
                                         ASIOCallbacks* callbacks) {
    IASIO* driver = current();
    if (driver) return driver->createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
    for (AsioLong i = 0; i < numChannels; ++i) {
        bufferInfos[i].buffers[0] = nullptr;
        bufferInfos[i].buffers[1] = nullptr;
    }
    return ASE_NotPresent;
}

ASIOError DriverCalls::ASIODisposeBuffers() {
    IASIO* driver = current();
    return driver ? driver->disposeBuffers() : ASE_NotPresent;
}

ASIOError DriverCalls::ASIOOutputReady() {
    IASIO* driver = current();
    return driver ? driver->outputReady() : ASE_NotPresent;
}

ASIOError DriverCalls::ASIOControlPanel() {
    IASIO* driver = current();
    return driver ? driver->controlPanel() : ASE_NotPresent;
}

ASIOError DriverCalls::ASIOGetChannelInfo(ASIOChannelInfo* info) {
    if (info == nullptr) return ASE_InvalidParameter;
    IASIO* driver = current();
    if (driver) return driver->getChannelInfo(info);
    info->channelGroup = -1;
    info->type = 0;
    std::memcpy(info->name, texts::kNoChannelName, sizeof texts::kNoChannelName);
    return ASE_NotPresent;
}

}  // namespace asiochan
