// The start and finish of a driver run.
#pragma once

#include <cstdint>

#include "platform/abi.h"

extern "C" {
std::int32_t ASIOCHAN_CDECL Prepare();
std::int32_t ASIOCHAN_CDECL Finish();
}
