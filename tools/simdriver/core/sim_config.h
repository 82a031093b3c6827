// What a simulated driver reports and how it misbehaves on request.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/sample_types.h"

namespace asiochan::sim {

// The driver slots after the three IUnknown ones, in vtable order.
enum class Slot : int {
    init,
    getDriverName,
    getDriverVersion,
    getErrorMessage,
    start,
    stop,
    getChannels,
    getLatencies,
    getBufferSize,
    canSampleRate,
    getSampleRate,
    setSampleRate,
    getClockSources,
    setClockSource,
    getSamplePosition,
    getChannelInfo,
    createBuffers,
    disposeBuffers,
    controlPanel,
    future,
    outputReady,
};
constexpr int kSlotCount = static_cast<int>(Slot::outputReady) + 1;
const char* slotName(Slot slot);

struct SimConfig {
    std::string name = "asiochan simulated driver";
    AsioLong version = 1;

    AsioLong inputs = 8;
    AsioLong outputs = 8;
    ASIOSampleType inputType = ASIOSTInt32LSB;
    ASIOSampleType outputType = ASIOSTInt32LSB;
    // Per-channel overrides of the direction's type; channels beyond a list use
    // the direction's type.
    std::vector<ASIOSampleType> inputTypes;
    std::vector<ASIOSampleType> outputTypes;

    AsioLong bufferMin = 32;
    AsioLong bufferMax = 4096;
    AsioLong bufferPreferred = 256;
    AsioLong bufferGranularity = -1;

    double sampleRate = 48000.0;
    // When set, getSampleRate reports `rateReadBack` after any setSampleRate.
    bool rateReadsBackDifferently = false;
    double rateReadBack = 0.0;

    AsioLong inputLatency = 256;
    AsioLong outputLatency = 512;

    bool refuseInit = false;
    std::string initErrorMessage = "simulated driver refused to start";
    bool outputReadySupported = true;
    // Off: calls are only counted, not logged (the log allocates while it grows).
    bool keepCallLog = true;

    // Slots that answer with a chosen error instead of doing their work.
    struct Failure {
        Slot slot;
        ASIOError result;
    };
    std::vector<Failure> failures;
    // Channels whose getChannelInfo answers ASE_NotPresent.
    struct ChannelRef {
        bool isInput;
        AsioLong channel;
    };
    std::vector<ChannelRef> channelInfoRefused;

    // ---- Faults of badly written drivers, for the engine's robustness tests ----
    struct HalfRef {
        bool isInput;
        AsioLong channel;
        int half;  // 0 or 1
    };
    // createBuffers answers success but leaves these half-buffers null.
    std::vector<HalfRef> nullHalves;
    // createBuffers takes any buffer size (zero, negative, absurdly large) instead
    // of refusing sizes outside bufferMin..bufferMax; it then makes halves of at
    // most `uncheckedHalfBytes` bytes whatever the size asks for.
    bool acceptAnyBufferSize = false;
    AsioLong uncheckedHalfBytes = 4096;
    // createBuffers calls the host's period callbacks (both entries, both halves)
    // before it has handed any buffer over.
    bool callbackInsideCreateBuffers = false;
    // stop answers ASE_OK but the clock goes on calling the host until
    // disposeBuffers (or the driver's end).
    bool keepRunningAfterStop = false;
    // outputReady holds the calling period until this flag reads true (at most
    // 10 s): a driver that blocks inside the host's period. Null: no hold.
    const std::atomic<bool>* outputReadyGate = nullptr;

    ASIOSampleType typeOf(bool isInput, AsioLong channel) const;
};

}  // namespace asiochan::sim
