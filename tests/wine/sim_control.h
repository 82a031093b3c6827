// The simulated driver's test-control exports, resolved on the asiochan_sim.dll
// that COM loaded for the driver (so only after a driver of it was created).
#pragma once

#include <windows.h>

#include <cstdint>

struct SimControl {
    HMODULE module = nullptr;
    void*(__cdecl* simLastDriver)() = nullptr;
    std::uint32_t(__cdecl* simCreatedCount)() = nullptr;
    std::int32_t(__cdecl* simLiveCount)() = nullptr;
    std::int64_t(__cdecl* simCallCount)(std::int32_t slot) = nullptr;
    std::int32_t(__cdecl* simConfigureClock)(std::int32_t freeRunning, std::int32_t periodMicros,
                                             std::int32_t inputFill, std::int32_t recordOutputs) = nullptr;
    std::int32_t(__cdecl* simRunPeriods)(std::int32_t count) = nullptr;
    std::int64_t(__cdecl* simPeriodsRun)() = nullptr;
    std::int32_t(__cdecl* simOutputRecording)(std::int32_t channel, void* dest, std::int32_t capacity) = nullptr;
    std::uint8_t(__cdecl* simInputPatternByte)(std::int32_t channel, std::uint32_t offset) = nullptr;

    // Resolved apart from the others (see resolveBufferFrames): the buffer size and
    // the faults of badly written drivers.
    std::int32_t(__cdecl* simSetBufferFrames)(std::int32_t preferred) = nullptr;
    std::int32_t(__cdecl* simSetFault)(std::int32_t fault, std::int32_t value) = nullptr;
    bool resolveBufferFrames() {
        if (module == nullptr) module = GetModuleHandleA("asiochan_sim.dll");
        if (module == nullptr) return false;
        simSetBufferFrames = reinterpret_cast<decltype(simSetBufferFrames)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simSetBufferFrames")));
        simSetFault =
            reinterpret_cast<decltype(simSetFault)>(reinterpret_cast<void*>(GetProcAddress(module, "simSetFault")));
        return simSetBufferFrames != nullptr && simSetFault != nullptr;
    }

    // Resolved apart from the others: what a driver says to the host mid-stream.
    std::int32_t(__cdecl* simSendNotices)(std::uint32_t notices, double rate) = nullptr;
    std::int32_t(__cdecl* simRequestReset)(std::int32_t frames) = nullptr;
    std::int32_t(__cdecl* simStallAfter)(std::uint32_t periods) = nullptr;
    std::int32_t(__cdecl* simSkipPeriods)(std::int32_t periods) = nullptr;
    bool resolveNotices() {
        if (module == nullptr) module = GetModuleHandleA("asiochan_sim.dll");
        if (module == nullptr) return false;
        simSendNotices = reinterpret_cast<decltype(simSendNotices)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simSendNotices")));
        simRequestReset = reinterpret_cast<decltype(simRequestReset)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simRequestReset")));
        simStallAfter =
            reinterpret_cast<decltype(simStallAfter)>(reinterpret_cast<void*>(GetProcAddress(module, "simStallAfter")));
        simSkipPeriods = reinterpret_cast<decltype(simSkipPeriods)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simSkipPeriods")));
        return simSendNotices != nullptr && simRequestReset != nullptr && simStallAfter != nullptr &&
               simSkipPeriods != nullptr;
    }

    // False while the module is not loaded in this process.
    bool resolve() {
        module = GetModuleHandleA("asiochan_sim.dll");
        if (module == nullptr) return false;
        simLastDriver =
            reinterpret_cast<decltype(simLastDriver)>(reinterpret_cast<void*>(GetProcAddress(module, "simLastDriver")));
        simCreatedCount = reinterpret_cast<decltype(simCreatedCount)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simCreatedCount")));
        simLiveCount =
            reinterpret_cast<decltype(simLiveCount)>(reinterpret_cast<void*>(GetProcAddress(module, "simLiveCount")));
        simCallCount =
            reinterpret_cast<decltype(simCallCount)>(reinterpret_cast<void*>(GetProcAddress(module, "simCallCount")));
        simConfigureClock = reinterpret_cast<decltype(simConfigureClock)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simConfigureClock")));
        simRunPeriods =
            reinterpret_cast<decltype(simRunPeriods)>(reinterpret_cast<void*>(GetProcAddress(module, "simRunPeriods")));
        simPeriodsRun =
            reinterpret_cast<decltype(simPeriodsRun)>(reinterpret_cast<void*>(GetProcAddress(module, "simPeriodsRun")));
        simOutputRecording = reinterpret_cast<decltype(simOutputRecording)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simOutputRecording")));
        simInputPatternByte = reinterpret_cast<decltype(simInputPatternByte)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simInputPatternByte")));
        return simLastDriver && simCreatedCount && simLiveCount && simCallCount && simConfigureClock && simRunPeriods &&
               simPeriodsRun && simOutputRecording && simInputPatternByte;
    }
};

// The names the Wine fixture installs (scripts/wine-prefix.sh --register-sim).
inline constexpr char kSimDriverName[] = "asiochan simulated driver";
inline constexpr char kSteppedDriverName[] = "asiochan sim (stepped)";
inline constexpr char kRefusedDriverName[] = "asiochan sim (refused)";
inline constexpr char kSteppedFloatDriverName[] = "asiochan sim (stepped, float)";
inline constexpr char kResettingDriverName[] = "asiochan sim (resets)";
inline constexpr char kStallingDriverName[] = "asiochan sim (stalls)";
inline constexpr char kSkippingDriverName[] = "asiochan sim (skips)";
inline constexpr char kFastDriverName[] = "asiochan sim (fast)";
inline constexpr char kDutDriverName[] = "asiochan sim (dut)";
inline constexpr char kRateChangeDriverName[] = "asiochan sim (rate change)";
inline constexpr char kTypesDriverName[] = "asiochan sim (types)";
