#include <cstring>

#include "platform/platform.h"

namespace asiochan::platform {

bool operator==(const ClassId& a, const ClassId& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace asiochan::platform
