// Files through the C runtime; Windows paths are used as they stand.
#include "platform/platform.h"

namespace asiochan::platform {

std::FILE* openFile(const char* path, const char* mode) { return std::fopen(path, mode); }

}  // namespace asiochan::platform
