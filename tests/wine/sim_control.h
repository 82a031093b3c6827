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

    // False while the module is not loaded in this process.
    bool resolve() {
        module = GetModuleHandleA("asiochan_sim.dll");
        if (module == nullptr) return false;
        simLastDriver = reinterpret_cast<decltype(simLastDriver)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simLastDriver")));
        simCreatedCount = reinterpret_cast<decltype(simCreatedCount)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simCreatedCount")));
        simLiveCount = reinterpret_cast<decltype(simLiveCount)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simLiveCount")));
        simCallCount = reinterpret_cast<decltype(simCallCount)>(
            reinterpret_cast<void*>(GetProcAddress(module, "simCallCount")));
        return simLastDriver && simCreatedCount && simLiveCount && simCallCount;
    }
};

// The names the Wine fixture installs (scripts/wine-prefix.sh --register-sim).
inline constexpr char kSimDriverName[] = "asiochan simulated driver";
inline constexpr char kSteppedDriverName[] = "asiochan sim (stepped)";
inline constexpr char kRefusedDriverName[] = "asiochan sim (refused)";
