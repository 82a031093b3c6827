// The product's one instance of the library. It lives in static storage, is made
// by the first export called and is never destroyed: nothing runs when the DLL is
// unloaded, and the driver may keep the addresses of the engine's tables.
#include <new>

#include "session/library.h"

namespace asiochan {

Library& theLibrary() {
    alignas(Library) static unsigned char storage[sizeof(Library)];
    static Library* const instance = new (storage) Library;
    return *instance;
}

}  // namespace asiochan
