// regsvr32 support: registers the default simulated driver as Windows expects an
// ASIO driver to be installed, and removes it again.
#include <windows.h>

#include <cstring>
#include <string>

#include "simdriver/classes/sim_objects.h"

using namespace asiochan::sim::classes;

namespace {

bool setText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG r = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

std::string classKey(const SimClassInfo& cls) { return std::string("CLSID\\") + cls.idText; }
std::string asioKey(const SimClassInfo& cls) { return std::string("SOFTWARE\\ASIO\\") + cls.keyName; }

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(static_cast<HMODULE>(server().module), path, sizeof path);
    if (n == 0 || n >= sizeof path) return E_FAIL;
    const SimClassInfo& cls = simClass(SimClass::Default);
    const bool ok = setText(HKEY_CLASSES_ROOT, classKey(cls), nullptr, cls.description) &&
                    setText(HKEY_CLASSES_ROOT, classKey(cls) + "\\InprocServer32", nullptr, path) &&
                    setText(HKEY_CLASSES_ROOT, classKey(cls) + "\\InprocServer32", "ThreadingModel", "Apartment") &&
                    setText(HKEY_LOCAL_MACHINE, asioKey(cls), "CLSID", cls.idText) &&
                    setText(HKEY_LOCAL_MACHINE, asioKey(cls), "Description", cls.description);
    return ok ? S_OK : E_FAIL;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    const SimClassInfo& cls = simClass(SimClass::Default);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (classKey(cls) + "\\InprocServer32").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, classKey(cls).c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, asioKey(cls).c_str());
    return S_OK;
}
