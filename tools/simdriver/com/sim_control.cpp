// Extra exports for test hosts, reached with GetProcAddress on this module once
// a driver of it is loaded. They act on the newest driver object still alive.
#include <cstdint>

#include "simdriver/com/sim_server_state.h"

using namespace asiochan::sim::com;

extern "C" {

// The newest driver object still alive, or null; an identity for tests.
void* __cdecl simLastDriver() { return server().newest.load(); }

// Driver objects made since the module was loaded, and those still alive.
std::uint32_t __cdecl simCreatedCount() { return server().created.load(); }
std::int32_t __cdecl simLiveCount() { return static_cast<std::int32_t>(server().liveObjects.load()); }

// How often the newest driver's slot (in vtable order after IUnknown) was called;
// -1 without a driver.
std::int64_t __cdecl simCallCount(std::int32_t slot) {
    ComSimDriver* d = server().newest.load();
    if (d == nullptr || slot < 0 || slot >= asiochan::sim::kSlotCount) return -1;
    return static_cast<std::int64_t>(d->callCount(static_cast<asiochan::sim::Slot>(slot)));
}

}  // extern "C"
