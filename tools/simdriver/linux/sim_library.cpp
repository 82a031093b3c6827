// libasiochan_sim.so's entry points: what the COM server's class factory and
// registration give on Windows, for libasiochan.so, which installs these classes
// in its registry stand-in when it starts.
#include <cstdint>
#include <cstring>

#include "simdriver/classes/sim_objects.h"

using namespace asiochan;
using namespace asiochan::sim::classes;

extern "C" {

// The number of classes served.
std::int32_t simClassCount() {
    std::size_t count = 0;
    simClasses(&count);
    return static_cast<std::int32_t>(count);
}

// Class `index`: its id (16 bytes into `classId`), its key under SOFTWARE\ASIO and
// the name it is listed under (static texts). 1 when there is such a class, else 0.
std::int32_t simClassAt(std::int32_t index, void* classId, const char** keyName, const char** description) {
    std::size_t count = 0;
    const SimClassInfo* classes = simClasses(&count);
    if (index < 0 || static_cast<std::size_t>(index) >= count || classId == nullptr || keyName == nullptr ||
        description == nullptr)
        return 0;
    const SimClassInfo& c = classes[index];
    std::memcpy(classId, &c.id, sizeof c.id);
    *keyName = c.keyName;
    *description = c.description;
    return 1;
}

// A driver object of class `classId` asked for as `interfaceId` (the class id or
// IUnknown's), as CoCreateInstance makes it; 0 (S_OK) with one reference, or the
// failure (REGDB_E_CLASSNOTREG for a class not served).
std::int32_t simCreateObject(const void* classId, const void* interfaceId, void** object) {
    if (object == nullptr) return kPointerResult;
    *object = nullptr;
    if (classId == nullptr || interfaceId == nullptr) return kPointerResult;
    platform::ClassId id{};
    platform::ClassId asked{};
    std::memcpy(&id, classId, sizeof id);
    std::memcpy(&asked, interfaceId, sizeof asked);
    const SimClassInfo* cls = findSimClass(id);
    if (cls == nullptr) return static_cast<std::int32_t>(0x80040154u);
    return createDriver(*cls, asked, object);
}

}  // extern "C"
