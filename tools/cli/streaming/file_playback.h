// A WAV file to play on outputs: which file channel on which output, once or in
// a loop, at a volume.
#pragma once

#include <string>
#include <vector>

#include "streaming/routing.h"
#include "wav/wav_file.h"

namespace cli {

struct PlaybackPlan {
    std::string file;
    WavInfo wav;
    std::vector<Route> routes;  // in the order given
    bool single = false;        // --channel N: the file's first channel on routes[0]
    bool loop = false;
    float volume = 1.0f;
};

}  // namespace cli
