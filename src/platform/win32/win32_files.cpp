// Files through the C runtime; Windows paths are used as they stand.
#include <io.h>

#include "platform/platform.h"

namespace asiochan::platform {

std::FILE* openFile(const char* path, const char* mode) { return std::fopen(path, mode); }

bool fileLength(std::FILE* file, std::uint64_t& bytes) {
    const __int64 length = _filelengthi64(_fileno(file));
    if (length < 0) return false;
    bytes = static_cast<std::uint64_t>(length);
    return true;
}

}  // namespace asiochan::platform
