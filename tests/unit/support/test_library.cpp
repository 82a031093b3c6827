#include "support/test_library.h"

#include <memory>

namespace asiochan {

namespace {
std::unique_ptr<Library>& current() {
    static std::unique_ptr<Library> instance;
    return instance;
}
}  // namespace

Library& theLibrary() {
    if (!current()) current() = std::make_unique<Library>();
    return *current();
}

namespace testing {

Library& freshLibrary(PlaybackPort* playersPort) {
    current().reset();
    current() = std::make_unique<Library>(playersPort);
    return *current();
}

void dropLibrary() { current().reset(); }

}  // namespace testing
}  // namespace asiochan
