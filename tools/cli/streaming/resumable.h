// A part of a streaming command (a capture, a player) that outlives restarts of
// the run: StreamWatch::follow holds it when the driver asks for a reset or
// announces a new sample rate, and resumes it once the run is prepared again.
#pragma once

#include <cstdint>

namespace cli {

// Where a run broke off: after `periods` periods of `frames` frames. With
// `newRate` the driver announced a new sample rate and streamed on: the periods
// after `periods` may have run at it (the run is held only from the restart).
struct RunBreak {
    std::uint32_t periods = 0;
    std::int32_t frames = 0;
    bool newRate = false;
};

class Resumable {
public:
    virtual ~Resumable() = default;
    // The run broke off and is still prepared: note how far the part got and let go.
    virtual void hold(const RunBreak& at) = 0;
    // The run was prepared again: go on from where the part was. False, with the
    // reason printed, when it cannot.
    virtual bool resume() = 0;
    // The driver stopped delivering periods: stop.
    virtual void halt() = 0;
};

}  // namespace cli
