// One take of a measurement through the stream: a signal played on one output
// from the stream's first frame while one input is recorded from that same frame,
// in one call of the library, so that the delay found is the device's own loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "streaming/run_follower.h"

namespace cli {

struct TakeShape {
    unsigned out = 0;
    unsigned in = 0;
    double rate = 0;
};

enum class TakeEnd {
    whole,        // every frame recorded, nothing lost
    interrupted,  // Ctrl+C
    retake,       // the recording has a gap or stopped short (the driver's reset, a skip): take again
    lost,         // the run is gone or stalled (reason printed)
    failed,       // the library refused the take (reason printed)
};

// Waits `seconds` while the run goes on (outputs often stay muted a moment after
// their stream starts), following it; a restart there is no harm.
TakeEnd settle(RunFollower& follower, double seconds);

// Plays `play` (full scale 1.0) and records `recordFrames` frames into
// `recording`, then follows the run: a reset or rate change restarts it (and asks
// for a retake), as do periods the driver skipped during the take.
TakeEnd takeOnce(const TakeShape& shape, const std::vector<float>& play, std::size_t recordFrames,
                 RunFollower& follower, std::vector<float>* recording);

}  // namespace cli
