// Registry reads through the Windows API.
#include <windows.h>

#include "platform/platform.h"

namespace asiochan::platform {

namespace {
HKEY rootHandle(RegistryRoot root) {
    return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
}
}  // namespace

bool openRootKey(RegistryRoot root, const char* path, RegistryKey* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyA(rootHandle(root), path, &opened) != ERROR_SUCCESS) return false;
    *key = opened;
    return true;
}

bool openSubKeyForReading(RegistryKey parent, const char* name, RegistryKey* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(static_cast<HKEY>(parent), name, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    *key = opened;
    return true;
}

bool enumSubKey(RegistryKey key, std::uint32_t index, char* name, std::uint32_t size) {
    return RegEnumKeyA(static_cast<HKEY>(key), index, name, size) == ERROR_SUCCESS;
}

bool queryValue(RegistryKey key, const char* valueName, char* data, std::uint32_t size) {
    if (data == nullptr || size == 0) return false;
    DWORD type = 0;
    DWORD length = size;
    if (RegQueryValueExA(static_cast<HKEY>(key), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &length) !=
        ERROR_SUCCESS)
        return false;
    // A value stored without its terminator gets one when there is room; a value
    // that fills the buffer without any terminator does not fit.
    if (length < size) {
        data[length] = '\0';
        return true;
    }
    for (DWORD i = 0; i < size; ++i)
        if (data[i] == '\0') return true;
    return false;
}

void closeKey(RegistryKey key) {
    if (key) RegCloseKey(static_cast<HKEY>(key));
}

}  // namespace asiochan::platform
