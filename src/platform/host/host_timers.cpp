// The library thread's short waits in the Linux host build: a stand-in for the
// high-resolution timer that a test makes available or not, and counts of the
// timer resolution's raises, so tests see which path the library takes and that
// every raise is undone.
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/host/host_control.h"
#include "platform/platform.h"

namespace asiochan::platform {

namespace {
std::atomic<bool> timerAvailable{true};
std::atomic<int> timersOpen{0};
std::atomic<std::uint64_t> timerWaits{0};
std::atomic<int> raisesInForce{0};
std::atomic<std::uint64_t> raisesMade{0};
int timerObject = 0;  // what a made timer points at
}  // namespace

namespace host {
void setHighResolutionTimerAvailable(bool available) { timerAvailable.store(available); }
int highResolutionTimersOpen() { return timersOpen.load(); }
std::uint64_t highResolutionTimerWaits() { return timerWaits.load(); }
int timerResolutionRaisesInForce() { return raisesInForce.load(); }
std::uint64_t timerResolutionRaisesMade() { return raisesMade.load(); }
}  // namespace host

WaitableTimer createHighResolutionTimer() {
    if (!timerAvailable.load()) return nullptr;
    timersOpen.fetch_add(1);
    return &timerObject;
}

void waitOnTimer(WaitableTimer /*timer*/, std::uint32_t micros) {
    host::countBlockingCall();
    host::noteWaitBegins(false);
    timerWaits.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

void closeTimer(WaitableTimer timer) {
    if (timer != nullptr) timersOpen.fetch_sub(1);
}

bool raiseTimerResolution() {
    raisesInForce.fetch_add(1);
    raisesMade.fetch_add(1);
    return true;
}

void restoreTimerResolution() { raisesInForce.fetch_sub(1); }

}  // namespace asiochan::platform
