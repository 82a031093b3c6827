#include "driver/card_probe.h"

#include <cstring>

namespace asiochan {

namespace {

constexpr char kCardIds[2][18] = {"vid_4f2a&pid_0a17", "vid_4f2a&pid_0a18"};
constexpr std::size_t kIdLength = 17;
// A USB device path starts with its prefix and the bus name ("\\?\usb#"); the
// hardware id follows from the ninth character on.
constexpr std::size_t kIdOffset = 8;

bool isCardPath(const char* path) {
    // At most 17 characters from the ninth on, fewer when the path ends sooner.
    const std::size_t length = std::strlen(path);
    std::size_t taken = length > kIdOffset ? length - kIdOffset : 0;
    if (taken > kIdLength) taken = kIdLength;
    char id[kIdLength + 1];
    std::memcpy(id, path + (length > kIdOffset ? kIdOffset : length), taken);
    id[taken] = '\0';
    return std::strcmp(id, kCardIds[0]) == 0 || std::strcmp(id, kCardIds[1]) == 0;
}

}  // namespace

bool scanForCard() {
    platform::DeviceInterfaceSet set = platform::openPresentDeviceInterfaces(kUsbDeviceInterfaceClass);
    if (set == nullptr) return false;
    bool present = false;
    char path[kIdOffset + kIdLength + 1];
    for (std::uint32_t index = 0;; ++index) {
        const platform::DeviceInterfaceQuery q =
            platform::queryDeviceInterfacePath(set, kUsbDeviceInterfaceClass, index, path, sizeof path);
        // The end of the list and a failed detail query both end the scan.
        if (q != platform::DeviceInterfaceQuery::Path) break;
        if (isCardPath(path)) {
            present = true;
            break;
        }
    }
    platform::closeDeviceInterfaces(set);
    return present;
}

}  // namespace asiochan
