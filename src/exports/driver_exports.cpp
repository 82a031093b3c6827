// The driver-list, device-probe and forwarded driver-call exports.
#include <cstddef>

#include "asiochan.h"
#include "session/library.h"

using asiochan::theLibrary;

// The header's channel record is the driver's own, field for field.
static_assert(sizeof(AsiochanChannelInfo) == sizeof(asiochan::ASIOChannelInfo));
static_assert(offsetof(AsiochanChannelInfo, type) == offsetof(asiochan::ASIOChannelInfo, type));
static_assert(offsetof(AsiochanChannelInfo, name) == offsetof(asiochan::ASIOChannelInfo, name));

extern "C" {

int32_t ASIOCHAN_CALL getAsioDriverCount(void) { return theLibrary().session.driverCount(); }
int32_t ASIOCHAN_CALL getAsioDriverName(int32_t index, char* name) {
    return theLibrary().session.driverName(index, name);
}
uint8_t ASIOCHAN_CALL loadAsioDriver(const char* name) { return theLibrary().session.load(name) ? 1 : 0; }
void ASIOCHAN_CALL releaseAsioDriver(void) { theLibrary().session.release(); }
uint8_t ASIOCHAN_CALL IsLxcardInsert(void) { return theLibrary().session.cardPresent() ? 1 : 0; }

int32_t ASIOCHAN_CALL ASIOControlPanel(void) { return theLibrary().calls.ASIOControlPanel(); }
int32_t ASIOCHAN_CALL ASIOGetChannelInfo(AsiochanChannelInfo* info) {
    return theLibrary().calls.ASIOGetChannelInfo(reinterpret_cast<asiochan::ASIOChannelInfo*>(info));
}

}  // extern "C"
