#include "driver/call_layer.h"

#include <cstring>

namespace asiochan {

std::atomic<IASIO*> currentDriver{nullptr};

namespace {
IASIO* loaded() { return currentDriver.load(std::memory_order_acquire); }
}  // namespace

ASIOError ASIOInit(ASIODriverInfo* info) {
    info->driverVersion = 0;
    std::memcpy(info->name, texts::kNoDriverName, sizeof texts::kNoDriverName);
    IASIO* driver = loaded();
    if (driver == nullptr) return ASE_NotPresent;
    if (driver->init(info->sysRef) == ASIOFalse) {
        driver->getErrorMessage(info->errorMessage);
        // The driver list keeps its reference and releases the object later.
        currentDriver.store(nullptr, std::memory_order_release);
        return ASE_NotPresent;
    }
    std::memcpy(info->errorMessage, texts::kNoDriverError, sizeof texts::kNoDriverError);
    driver->getDriverName(info->name);
    info->driverVersion = driver->getDriverVersion();
    return ASE_OK;
}

ASIOError ASIOStart() {
    IASIO* driver = loaded();
    return driver ? driver->start() : ASE_NotPresent;
}

ASIOError ASIOStop() {
    IASIO* driver = loaded();
    return driver ? driver->stop() : ASE_NotPresent;
}

ASIOError ASIOGetChannels(AsioLong* numInputChannels, AsioLong* numOutputChannels) {
    IASIO* driver = loaded();
    if (driver) return driver->getChannels(numInputChannels, numOutputChannels);
    *numInputChannels = 0;
    *numOutputChannels = 0;
    return ASE_NotPresent;
}

ASIOError ASIOGetLatencies(AsioLong* inputLatency, AsioLong* outputLatency) {
    IASIO* driver = loaded();
    if (driver) return driver->getLatencies(inputLatency, outputLatency);
    *inputLatency = 0;
    *outputLatency = 0;
    return ASE_NotPresent;
}

ASIOError ASIOGetBufferSize(AsioLong* minSize, AsioLong* maxSize, AsioLong* preferredSize, AsioLong* granularity) {
    IASIO* driver = loaded();
    if (driver) return driver->getBufferSize(minSize, maxSize, preferredSize, granularity);
    *minSize = 0;
    *maxSize = 0;
    *preferredSize = 0;
    *granularity = 0;
    return ASE_NotPresent;
}

ASIOError ASIOGetSampleRate(ASIOSampleRate* currentRate) {
    IASIO* driver = loaded();
    return driver ? driver->getSampleRate(currentRate) : ASE_NotPresent;
}

ASIOError ASIOSetSampleRate(ASIOSampleRate sampleRate) {
    IASIO* driver = loaded();
    return driver ? driver->setSampleRate(sampleRate) : ASE_NotPresent;
}

ASIOError ASIOGetSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    IASIO* driver = loaded();
    return driver ? driver->getSamplePosition(sPos, tStamp) : ASE_NotPresent;
}

ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, AsioLong numChannels, AsioLong bufferSize,
                            ASIOCallbacks* callbacks) {
    IASIO* driver = loaded();
    if (driver) return driver->createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
    for (AsioLong i = 0; i < numChannels; ++i) {
        bufferInfos[i].buffers[0] = nullptr;
        bufferInfos[i].buffers[1] = nullptr;
    }
    return ASE_NotPresent;
}

ASIOError ASIODisposeBuffers() {
    IASIO* driver = loaded();
    return driver ? driver->disposeBuffers() : ASE_NotPresent;
}

ASIOError ASIOOutputReady() {
    IASIO* driver = loaded();
    return driver ? driver->outputReady() : ASE_NotPresent;
}

}  // namespace asiochan

using namespace asiochan;

extern "C" ASIOError ASIOCHAN_CDECL ASIOControlPanel() {
    IASIO* driver = loaded();
    return driver ? driver->controlPanel() : ASE_NotPresent;
}

extern "C" ASIOError ASIOCHAN_CDECL ASIOGetChannelInfo(ASIOChannelInfo* info) {
    if (info == nullptr) return ASE_InvalidParameter;  // an application's careless call
    IASIO* driver = loaded();
    if (driver) return driver->getChannelInfo(info);
    info->channelGroup = -1;
    info->type = 0;
    std::memcpy(info->name, texts::kNoChannelName, sizeof texts::kNoChannelName);
    return ASE_NotPresent;
}
