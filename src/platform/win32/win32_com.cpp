// COM object creation, class-id text, lower-casing and the file test through the
// Windows API.
#include <windows.h>
#include <objbase.h>

#include <cstring>

#include "platform/platform.h"

namespace asiochan::platform {

static_assert(sizeof(ClassId) == sizeof(CLSID));

void lowerCaseInPlace(char* text, std::uint32_t length) {
    if (length > 0) CharLowerBuffA(text, length);
}

bool parseClassId(const char* text, ClassId* out) {
    wchar_t wide[100];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 100) == 0) return false;
    CLSID id;
    if (CLSIDFromString(wide, &id) != NOERROR) return false;
    std::memcpy(out, &id, sizeof id);
    return true;
}

bool fileExists(const char* path) {
    OFSTRUCT info;
    std::memset(&info, 0, sizeof info);
    info.cBytes = sizeof info;
    return OpenFile(path, &info, OF_EXIST) != HFILE_ERROR;
}

void comInitialize() { CoInitialize(nullptr); }

void comUninitialize() { CoUninitialize(); }

std::int32_t createInProcObject(const ClassId& classId, void** object) {
    CLSID id;
    std::memcpy(&id, &classId, sizeof id);
    return CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, id, object);
}

}  // namespace asiochan::platform
