// Which installed driver is loaded, and the order every switch keeps: finish the
// run of the driver going away, clear the current driver so no call reaches it,
// release it, create the next one; all of it under the engine's shape change. The list of installed drivers is read once,
// by the first call that needs it, and kept for the life of the session.
#pragma once

#include <cstdint>

#include "driver/call_layer.h"
#include "driver/driver_list.h"
#include "engine/engine.h"

namespace asiochan {

class DriverSession {
public:
    DriverSession(DriverCalls& calls, Engine& engine);
    // Finishes a prepared run, then releases every driver object.
    ~DriverSession();
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    // The list, made (and the registry read) on first use; null only when there
    // was no memory for it.
    DriverList* list();
    // The list, or null while nothing has needed it yet.
    DriverList* existingList() const { return list_; }

    std::int32_t driverCount();
    std::int32_t driverName(std::int32_t index, char* name);
    // True when the driver named `name` is loaded and current. When it cannot be
    // created, the driver that was current before is loaded again.
    bool load(const char* name);
    void release();
    // Whether the maker's USB card is present. The installed drivers are read
    // first, as by the first driver-list call, so the list is in place afterwards
    // whichever call came first.
    bool cardPresent();

private:
    // Under the engine's shape change: finishes the current driver's run,
    // releases the driver and creates driver `index` of `list`; true when made.
    bool switchTo(DriverList& list, std::int32_t index);
    // Under the shape change: finishes the run and releases the current driver,
    // or leaks it when its thread may still be inside the library.
    void letCurrentGo(DriverList& list, const Engine::ShapeChange& change);

    DriverCalls& calls_;
    Engine& engine_;
    DriverList* list_ = nullptr;
};

}  // namespace asiochan
