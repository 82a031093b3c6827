// The simulated driver's COM server entry points, called directly on the module
// as regsvr32 and COM would.
#include <objbase.h>

#include "wine/wine_check.h"

namespace {

using Entry = HRESULT(STDAPICALLTYPE*)();
using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

const char kDefaultKey[] = "SOFTWARE\\ASIO\\asiochan_sim";
const char kDefaultClassKey[] = "CLSID\\{5A1C0001-7E57-4A51-8C0D-A510C4A20001}\\InprocServer32";
const CLSID kDefaultClass = {0x5a1c0001, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x01}};
const CLSID kRefusedClass = {0x5a1c0003, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x03}};

bool keyExists(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

template <typename F>
F entry(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

WINE_TEST(sim_server, unregister_and_register_again) {
    HMODULE module = LoadLibraryA("asiochan_sim.dll");
    WCHECK(module != nullptr);
    if (module == nullptr) return;
    auto unregister = entry<Entry>(module, "DllUnregisterServer");
    auto reg = entry<Entry>(module, "DllRegisterServer");
    WCHECK(unregister != nullptr && reg != nullptr);
    if (!unregister || !reg) return;

    WCHECK(keyExists(HKEY_LOCAL_MACHINE, kDefaultKey));
    WCHECK_EQ(unregister(), S_OK);
    WCHECK(!keyExists(HKEY_LOCAL_MACHINE, kDefaultKey));
    WCHECK(!keyExists(HKEY_CLASSES_ROOT, kDefaultClassKey));
    WCHECK_EQ(reg(), S_OK);
    WCHECK(keyExists(HKEY_LOCAL_MACHINE, kDefaultKey));

    char path[MAX_PATH] = {};
    LONG size = sizeof path;
    WCHECK_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, kDefaultClassKey, path, &size), ERROR_SUCCESS);
    char own[MAX_PATH] = {};
    GetModuleFileNameA(module, own, sizeof own);
    WCHECK_EQ(lstrcmpiA(path, own), 0);
    FreeLibrary(module);
}

WINE_TEST(sim_server, class_objects_and_unloading) {
    HMODULE module = LoadLibraryA("asiochan_sim.dll");
    WCHECK(module != nullptr);
    if (module == nullptr) return;
    auto getClassObject = entry<GetClassObject>(module, "DllGetClassObject");
    auto canUnload = entry<Entry>(module, "DllCanUnloadNow");
    WCHECK(getClassObject != nullptr && canUnload != nullptr);
    if (!getClassObject || !canUnload) return;

    void* object = reinterpret_cast<void*>(1);
    WCHECK_EQ(getClassObject(IID_IUnknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    WCHECK(object == nullptr);
    WCHECK_EQ(canUnload(), S_OK);

    IClassFactory* factory = nullptr;
    WCHECK_EQ(getClassObject(kDefaultClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    if (factory == nullptr) return;
    WCHECK_EQ(canUnload(), S_FALSE);
    IUnknown* driver = nullptr;
    WCHECK_EQ(factory->CreateInstance(nullptr, kDefaultClass, reinterpret_cast<void**>(&driver)), S_OK);
    factory->Release();
    WCHECK_EQ(canUnload(), S_FALSE);
    if (driver) driver->Release();
    WCHECK_EQ(canUnload(), S_OK);

    WCHECK_EQ(getClassObject(kRefusedClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    if (factory == nullptr) return;
    driver = reinterpret_cast<IUnknown*>(1);
    WCHECK(FAILED(factory->CreateInstance(nullptr, kRefusedClass, reinterpret_cast<void**>(&driver))));
    WCHECK(driver == nullptr);
    factory->Release();
    WCHECK_EQ(canUnload(), S_OK);
    FreeLibrary(module);
}
