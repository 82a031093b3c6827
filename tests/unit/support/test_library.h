// The library instance the unit tests run against. Each test makes a fresh one
// (the exports forward to it, as the product's exports forward to the DLL's one
// instance); the previous one goes first, with its players' workers, its run and
// its drivers.
#pragma once

#include "session/library.h"

namespace asiochan::testing {

// Destroys the current instance (if any) and makes a new one; its players take
// their blocks from `playersPort` when given.
Library& freshLibrary(PlaybackPort* playersPort = nullptr);
// Destroys the current instance; the next use makes a new one.
void dropLibrary();

inline Library& library() { return theLibrary(); }
inline EngineState& engine() { return theLibrary().engine.state(); }
inline DriverCalls& driverCalls() { return theLibrary().calls; }

// Both players' pauses.
inline void setPlayerTiming(std::uint32_t pollMs, std::uint32_t finalWaitMs) {
    library().single.setTiming(pollMs, finalWaitMs);
    library().multiple.setTiming(pollMs, finalWaitMs);
}

}  // namespace asiochan::testing

namespace asiochan {
using testing::driverCalls;
using testing::dropLibrary;
using testing::engine;
using testing::freshLibrary;
}  // namespace asiochan
