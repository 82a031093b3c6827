// Everything the library holds, with one owner each: the call layer with the
// current driver, the engine, the driver session and the two file players. The
// exports reach one instance of it; tests make their own.
#pragma once

#include "driver/call_layer.h"
#include "engine/engine.h"
#include "fileplay/file_player.h"
#include "session/driver_session.h"

namespace asiochan {

class Library {
public:
    // The players' port is the engine, or `playersPort` when a test gives one.
    explicit Library(PlaybackPort* playersPort = nullptr)
        : single(playersPort ? *playersPort : engine), multiple(playersPort ? *playersPort : engine) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Members go in reverse order: the players' workers end first, then the
    // session finishes the run and releases the drivers, then the engine goes.
    DriverCalls calls;
    Engine engine{calls};
    DriverSession session{calls, engine};
    FilePlayer single;    // the single-channel player, with its own volume
    FilePlayer multiple;  // the multi-channel player, with its own volume
};

// The instance the exports forward to: the product's one static instance, made on
// first use and never destroyed (nothing runs at unload).
Library& theLibrary();

}  // namespace asiochan
