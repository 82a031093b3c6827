#pragma once

#include <cstdint>

#include "driver/asio_types.h"

namespace asiochan {

// Bytes per sample of an ASIO sample type, or 0 for a type without a width
// (unassigned codes and the DSD types).
std::int32_t sampleWidthOf(ASIOSampleType type);

}  // namespace asiochan
