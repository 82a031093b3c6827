// The DLL as an application sees it: loaded with LoadLibrary, each export
// resolved by name with GetProcAddress. Exports the DLL does not have stay null.
#pragma once

#include <windows.h>

#include <cstdint>

#include "asiochan.h"  // the stream's structs (their layouts are checked there)
#include "driver/asio_types.h"

struct CaptureRequestAbi {
    void* buffer;
    std::int32_t byteLength;
    std::uint32_t channel;
};


struct AsiochanDll {
    HMODULE module = nullptr;

#define ASIOCHAN_EXPORT(ret, name, params) ret(__cdecl* name) params = nullptr;
#include "wine/dll_export_list.h"
#undef ASIOCHAN_EXPORT

    bool load(const char* path = "asiochan.dll") {
        module = LoadLibraryA(path);
        if (module == nullptr) return false;
#define ASIOCHAN_EXPORT(ret, name, params) \
    name = reinterpret_cast<decltype(name)>(reinterpret_cast<void*>(GetProcAddress(module, #name)));
#include "wine/dll_export_list.h"
#undef ASIOCHAN_EXPORT
        return true;
    }
};

// The one instance, loaded on first use.
inline AsiochanDll& dll() {
    static AsiochanDll instance;
    if (instance.module == nullptr) instance.load();
    return instance;
}
