// Whether the maker's USB audio card is plugged in: a look through the present
// USB device interfaces for its two hardware ids.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace asiochan {

// GUID_DEVINTERFACE_USB_DEVICE, {A5DCBF10-6530-11D2-901F-00C04FB951ED}.
constexpr platform::ClassId kUsbDeviceInterfaceClass = {
    0xA5DCBF10u, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// True when a present USB device's path carries one of the card's hardware ids.
bool scanForCard();

}  // namespace asiochan
