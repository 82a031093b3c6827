// The USB card probe of the real DLL: Wine has no such card. Its first call
// also makes the driver list (which reads the registry once and sets COM up on
// this thread).
#include <objbase.h>

#include "wine/dll_exports.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"

WINE_TEST(card_probe, answers_no_card_and_makes_the_driver_list) {
    AsiochanDll& d = dll();
    WCHECK_EQ(d.IsLxcardInsert(), 0);
    // COM was initialized on this thread by the list: a further call says so.
    const HRESULT again = CoInitialize(nullptr);
    WCHECK_EQ(again, S_FALSE);
    if (SUCCEEDED(again)) CoUninitialize();

    // The registry was read at the probe: a driver entry added now is not seen.
    HKEY key = nullptr;
    WCHECK_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\zz_added_late", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const char clsid[] = "{5A1C0001-7E57-4A51-8C0D-A510C4A20001}";
    RegSetValueExA(key, "CLSID", 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid), sizeof clsid);
    RegCloseKey(key);
    WCHECK_EQ(d.getAsioDriverCount(), 13);  // the fixture registers thirteen
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\zz_added_late");
    WCHECK_EQ(d.IsLxcardInsert(), 0);
}
