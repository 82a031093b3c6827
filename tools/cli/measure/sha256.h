// SHA-256 of a text, for naming exactly which limits file a report was judged
// against (the same hex digest sha256sum prints).
#pragma once

#include <string>

namespace cli {

// 64 lowercase hex digits.
std::string sha256Hex(const std::string& bytes);

}  // namespace cli
