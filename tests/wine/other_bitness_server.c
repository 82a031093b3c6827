/* An in-process server built for the other bitness than the test host: a 64-bit
 * process cannot load it (nor a 32-bit one its 64-bit twin), so a driver whose
 * class points here must fail to load as if its server were missing. */
#include <windows.h>

__declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID classId, REFIID interfaceId, void** object) {
    (void)classId;
    (void)interfaceId;
    *object = NULL;
    return CLASS_E_CLASSNOTAVAILABLE;
}
