#include "session/driver_session.h"

#include <cstring>
#include <new>

#include "driver/card_probe.h"
#include "engine/engine.h"

namespace asiochan {

DriverSession::DriverSession(DriverCalls& calls, Engine& engine) : calls_(calls), engine_(engine) {}

DriverSession::~DriverSession() {
    {
        const Engine::ShapeChange change(engine_);
        if (list_ != nullptr) {
            letCurrentGo(*list_, change);
        } else {
            engine_.finishPreparedRun(change);
            calls_.setCurrent(nullptr);
        }
    }
    delete list_;
}

DriverList* DriverSession::list() {
    if (list_ == nullptr) list_ = new (std::nothrow) DriverList;
    return list_;
}

std::int32_t DriverSession::driverCount() {
    DriverList* l = list();
    return l ? l->count() : 0;
}

std::int32_t DriverSession::driverName(std::int32_t index, char* name) {
    DriverList* l = list();
    if (l == nullptr) return name ? kDriverListNoEntry : kDriverListNullPointer;
    return l->copyDriverName(index, name, kDriverNameLimit);
}

bool DriverSession::load(const char* name) {
    DriverList* l = list();
    if (l == nullptr || name == nullptr) return false;
    const std::int32_t found = l->findByName(name);
    if (found < 0) return false;

    char previous[kDriverNameLimit];
    l->copyCurrentName(previous);
    char wanted[kDriverNameLimit];
    l->copyDriverName(found, wanted, sizeof wanted);

    if (switchTo(*l, found)) return true;
    if (previous[0] != '\0' && std::strcmp(previous, wanted) != 0) load(previous);
    return false;
}

// A driver whose thread stayed inside the library past a Finish's wait may
// still return into it: its object is left alive (leaked), never released.
void DriverSession::letCurrentGo(DriverList& list, const Engine::ShapeChange& change) {
    engine_.finishPreparedRun(change);
    // The call layer must never reach the object being released.
    calls_.setCurrent(nullptr);
    if (engine_.driverStuck()) {
        list.abandonCurrent();
        engine_.driverLetGo(change);
    } else {
        list.releaseCurrent();
    }
}

bool DriverSession::switchTo(DriverList& list, std::int32_t index) {
    const Engine::ShapeChange change(engine_);
    letCurrentGo(list, change);
    IASIO* made = list.makeCurrent(index);
    if (made != nullptr) calls_.setCurrent(made);
    return made != nullptr;
}

void DriverSession::release() {
    if (list_ == nullptr) return;
    const Engine::ShapeChange change(engine_);
    letCurrentGo(*list_, change);
}

bool DriverSession::cardPresent() {
    list();
    return scanForCard();
}

}  // namespace asiochan
