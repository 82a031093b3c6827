// Environment variables for the host build.
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace asiochan::platform {

bool readEnvironment(const char* name, char* text, std::uint32_t size) {
    if (name == nullptr || text == nullptr || size == 0) return false;
    const char* value = std::getenv(name);
    if (value == nullptr) return false;
    const std::size_t n = std::strlen(value);
    if (n == 0 || n >= size) return false;
    std::memcpy(text, value, n + 1);
    return true;
}

}  // namespace asiochan::platform
