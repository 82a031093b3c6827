// What `asiochan analyze` needs from a take, whatever plays and records it: the
// timeline played on every measured output from position 0, the measured inputs'
// frames delivered by position as they come, and what went wrong on the way.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "measure/analyze_timeline.h"

namespace cli {

// Takes the recorded frames, in position order, without gaps between calls.
class TakeSink {
public:
    virtual ~TakeSink() = default;
    // `count` frames from `position`, one 32-bit sample per measured input in pair
    // order (full scale the whole integer range). False: nothing more is needed.
    virtual bool frames(std::uint64_t position, const std::int32_t* interleaved, std::size_t count) = 0;
};

struct TakeOutcome {
    enum class Kind {
        whole,        // every frame played and recorded in its place
        skipped,      // the driver skipped periods: the take may be made again
        broken,       // frames dropped or not played in time, a reset, a stall
        interrupted,  // Ctrl+C
        failed,       // the driver or the library refused
    };
    Kind kind = Kind::whole;
    std::string message;  // what happened, for the console
};

// A full-scale 1.0 value as the 32-bit sample the take plays: rounded, clipped.
inline std::int32_t toTakeSample(double v) {
    const double scaled = std::nearbyint(v * 2147483648.0);
    if (!(scaled > -2147483648.0)) return INT32_MIN;
    return scaled >= 2147483647.0 ? INT32_MAX : static_cast<std::int32_t>(scaled);
}

class Take {
public:
    virtual ~Take() = default;
    // Plays `timeline` (every pair's output its own column) and records until the
    // sink has what it needs or timeline.recordedFrames() have come.
    virtual TakeOutcome run(const Timeline& timeline, TakeSink& sink) = 0;
};

}  // namespace cli
