// Present device interfaces through the device set-up service.
#include <windows.h>
#include <setupapi.h>

#include <cstring>

#include "platform/platform.h"

namespace asiochan::platform {

namespace {
// The fixed parts of SP_DEVICE_INTERFACE_DATA and SP_DEVICE_INTERFACE_DETAIL_DATA_A
// as the set-up service checks them: 28 and 5 in a 32-bit process, 32 and 8 in a
// 64-bit one, so taken from the headers' own layouts.
constexpr DWORD kInterfaceDataSize = sizeof(SP_DEVICE_INTERFACE_DATA);
constexpr DWORD kDetailDataSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
#if defined(_WIN64)
static_assert(kInterfaceDataSize == 32 && kDetailDataSize == 8);
#else
static_assert(kInterfaceDataSize == 28 && kDetailDataSize == 5);
#endif

GUID toGuid(const ClassId& id) {
    GUID g;
    std::memcpy(&g, &id, sizeof g);
    return g;
}
}  // namespace

DeviceInterfaceSet openPresentDeviceInterfaces(const ClassId& interfaceClass) {
    const GUID g = toGuid(interfaceClass);
    HDEVINFO set = SetupDiGetClassDevsA(&g, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return nullptr;
    return set;
}

DeviceInterfaceQuery queryDeviceInterfacePath(DeviceInterfaceSet set, const ClassId& interfaceClass,
                                              std::uint32_t index, char* path, std::uint32_t size) {
    const GUID g = toGuid(interfaceClass);
    SP_DEVICE_INTERFACE_DATA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = kInterfaceDataSize;
    if (!SetupDiEnumDeviceInterfaces(static_cast<HDEVINFO>(set), nullptr, &g, index, &data))
        return DeviceInterfaceQuery::NoMoreInterfaces;

    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(static_cast<HDEVINFO>(set), &data, nullptr, 0, &required, nullptr);
    // The block must at least hold the size field and a terminator.
    if (required < kDetailDataSize + 1) required = kDetailDataSize + 1;
    HGLOBAL block = GlobalAlloc(GPTR, required);
    if (block == nullptr) return DeviceInterfaceQuery::DetailFailed;
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(static_cast<void*>(block));
    detail->cbSize = kDetailDataSize;
    DeviceInterfaceQuery result = DeviceInterfaceQuery::DetailFailed;
    if (SetupDiGetDeviceInterfaceDetailA(static_cast<HDEVINFO>(set), &data, detail, required, nullptr, nullptr)) {
        // The path runs to its terminator within the block.
        const char* devicePath = detail->DevicePath;
        const std::size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        std::size_t n = 0;
        while (n < room && devicePath[n] != '\0' && n + 1 < size) ++n;
        std::memcpy(path, devicePath, n);
        path[n] = '\0';
        result = DeviceInterfaceQuery::Path;
    }
    GlobalFree(block);
    return result;
}

void closeDeviceInterfaces(DeviceInterfaceSet set) {
    if (set) SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(set));
}

}  // namespace asiochan::platform
