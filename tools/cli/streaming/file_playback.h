// A WAV file playing on outputs while a command streams: by one of the library's
// file players where one serves the routing, otherwise queued by the host itself
// (queued_player.h). Each outlives restarts of the run.
#pragma once

#include <string>
#include <vector>

#include "streaming/resumable.h"
#include "streaming/routing.h"
#include "wav/wav_file.h"

namespace cli {

struct PlaybackPlan {
    std::string file;
    WavInfo wav;
    std::vector<Route> routes;  // in the order given
    bool single = false;        // --channel N: the single-channel player on routes[0]
    bool loop = false;
    float volume = 1.0f;
};

class FilePlayback : public Resumable {
public:
    // Starts playing at the current place in the file; false when refused.
    virtual bool start() = 0;
    virtual void stop() = 0;
    // Playing, or about to: false once the file has played out (or after a stop).
    virtual bool inPlay() const = 0;
    // Called between polls: hands the outputs what they can take.
    virtual void feed() {}
    // The file was played to its end before a reset: nothing is left to resume.
    virtual bool finished() const = 0;
};

}  // namespace cli
