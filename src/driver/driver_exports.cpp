// The driver-list exports. The first of them to run reads the registry.
#include <cstring>

#include "driver/call_layer.h"
#include "driver/driver_list.h"

using namespace asiochan;

extern "C" {

std::int32_t ASIOCHAN_CDECL getAsioDriverCount() {
    DriverList* list = driverList();
    return list ? list->count() : 0;
}

std::int32_t ASIOCHAN_CDECL getAsioDriverName(std::int32_t index, char* name) {
    DriverList* list = driverList();
    if (list == nullptr) return name ? kDriverListNoEntry : kDriverListNullPointer;
    return list->copyDriverName(index, name, kDriverNameLimit);
}

std::uint8_t ASIOCHAN_CDECL loadAsioDriver(const char* name) {
    DriverList* list = driverList();
    if (list == nullptr || name == nullptr) return 0;
    return list->loadByName(name) ? 1 : 0;
}

void ASIOCHAN_CDECL releaseAsioDriver() {
    DriverList* list = existingDriverList();
    if (list == nullptr) return;
    finishPreparedRun();
    currentDriver.store(nullptr, std::memory_order_release);
    list->releaseCurrent();
}

}  // extern "C"
