// The library thread's short waits through the Windows API: a high-resolution
// waitable timer where the system has one (Windows 10 1803 on; older systems
// refuse the flag), else the system timer's resolution raised with winmm's
// timeBeginPeriod. Both are looked up at run time: the DLL imports neither.
#include <windows.h>

#include "platform/platform.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace asiochan::platform {

namespace {
using CreateTimerEx = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);
using TimePeriod = UINT(WINAPI*)(UINT);

// A function of a module, as the type its caller names.
template <typename Function>
Function lookUp(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    FARPROC found = GetProcAddress(module, name);
    return found == nullptr ? nullptr : reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// winmm.dll, loaded once by the first raise and kept for the process.
HMODULE winmm() {
    static const HMODULE module = LoadLibraryW(L"winmm.dll");
    return module;
}
}  // namespace

WaitableTimer createHighResolutionTimer() {
    const auto create = lookUp<CreateTimerEx>(GetModuleHandleW(L"kernel32.dll"), "CreateWaitableTimerExW");
    if (create == nullptr) return nullptr;
    return create(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
}

void waitOnTimer(WaitableTimer timer, std::uint32_t micros) {
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(micros) * 10;  // relative, in 100 ns
    if (!SetWaitableTimer(static_cast<HANDLE>(timer), &due, 0, nullptr, nullptr, FALSE)) {
        Sleep((micros + 999) / 1000);
        return;
    }
    // Bounded all the same: a timer that never fires costs a tick, not the thread.
    WaitForSingleObject(static_cast<HANDLE>(timer), micros / 1000 + 50);
}

void closeTimer(WaitableTimer timer) {
    if (timer != nullptr) CloseHandle(static_cast<HANDLE>(timer));
}

bool raiseTimerResolution() {
    const auto begin = lookUp<TimePeriod>(winmm(), "timeBeginPeriod");
    return begin != nullptr && begin(1) == 0;  // TIMERR_NOERROR
}

void restoreTimerResolution() {
    if (const auto end = lookUp<TimePeriod>(winmm(), "timeEndPeriod")) end(1);
}

}  // namespace asiochan::platform
