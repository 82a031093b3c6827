// What the application learns of the driver's requests and of its periods. Both
// exported.
#pragma once

#include <cstdint>

#include "driver/asio_types.h"

extern "C" {
std::uint32_t ASIOCHAN_CDECL GetDriverRequests();
std::uint32_t ASIOCHAN_CDECL GetPeriodCount();
}
