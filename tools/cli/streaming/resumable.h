// A part of a streaming command (a capture, a player) that outlives restarts of
// the run: StreamWatch::follow holds it when the driver asks for a reset and
// resumes it once the run is prepared again.
#pragma once

#include <cstdint>

namespace cli {

class Resumable {
public:
    virtual ~Resumable() = default;
    // The driver asked for a reset after `periods` periods of `frames` frames in
    // this run, which is still prepared: note how far the part got and let go.
    virtual void hold(std::uint32_t periods, std::int32_t frames) = 0;
    // The run was prepared again: go on from where the part was. False, with the
    // reason printed, when it cannot.
    virtual bool resume() = 0;
    // The driver stopped delivering periods: stop.
    virtual void halt() = 0;
};

}  // namespace cli
