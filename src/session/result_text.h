// A short English text for each result code the public header names.
#pragma once

#include <cstdint>

namespace asiochan {

// The text of `code`: static storage, never null; "unknown result code" for a code
// the header does not name (a driver's own, say).
const char* resultText(std::int32_t code);

}  // namespace asiochan
