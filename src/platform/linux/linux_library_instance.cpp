// libasiochan.so's one instance of the library, made by the first export called,
// in static storage and never destroyed, as in the DLL. Before it is made, the
// simulated drivers are installed, so that the first driver-list call finds them.
#include <new>

#include "platform/linux/simulated_drivers.h"
#include "session/library.h"

namespace asiochan {

Library& theLibrary() {
    alignas(Library) static unsigned char storage[sizeof(Library)];
    static Library* const instance = [] {
        platform::linux_library::installSimulatedDrivers();
        return new (storage) Library;
    }();
    return *instance;
}

}  // namespace asiochan
