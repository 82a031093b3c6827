#include "system/clock.h"

#include <windows.h>

namespace cli {

std::uint64_t monotonicMs() { return GetTickCount64(); }

void sleepMs(unsigned ms) { Sleep(ms); }

}  // namespace cli
