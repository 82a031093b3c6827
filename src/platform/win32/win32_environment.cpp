// Environment variables through the Windows API, which sees what the process set
// since it started (the C runtime's copy does not).
#include <windows.h>

#include "platform/platform.h"

namespace asiochan::platform {

bool readEnvironment(const char* name, char* text, std::uint32_t size) {
    if (name == nullptr || text == nullptr || size == 0) return false;
    const DWORD n = GetEnvironmentVariableA(name, text, size);
    return n > 0 && n < size;
}

}  // namespace asiochan::platform
