// The take of `asiochan analyze` through the library's stream: the timeline
// written to the pairs' outputs and the pairs' inputs read, both as 32-bit
// integers, from one start, every block's position checked against the last.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "measure/analyze_pairs.h"
#include "measure/analyze_take.h"
#include "streaming/stream_port.h"

namespace cli {

struct StreamTakeOptions {
    std::int32_t chunkFrames = 2048;  // frames rendered, written or read at a time
    std::int32_t readWaitMs = 20;     // a read's wait for frames
    // No frame read for this long while the stream runs: the driver stalled.
    std::chrono::milliseconds stallAfter{2000};
    std::function<bool()> interrupted = [] { return false; };
    // Called before every take but the first (the run made again, so that the
    // retake starts as fresh as the first); false: it could not be, the take fails.
    std::function<bool()> beforeRetake = [] { return true; };
};

class StreamTake final : public Take {
public:
    StreamTake(StreamCalls& stream, std::vector<ChannelPair> pairs, StreamTakeOptions options = {});
    // Opens a stream on the pairs (its rings the library's default: the reader
    // only copies, see TakeAnalysis), prefills it, starts it and moves frames
    // until the sink has what it needs; stops and closes it on every way out.
    // A gap or an event tells what the take comes to: the driver's skipped
    // periods or a resync give `skipped` (the take may be made again), frames
    // dropped or played late, a reset, a new rate, the stream's end or a stall
    // give `broken`.
    TakeOutcome run(const Timeline& timeline, TakeSink& sink) override;

private:
    StreamCalls& stream_;
    std::vector<ChannelPair> pairs_;
    StreamTakeOptions options_;
    int runs_ = 0;
};

}  // namespace cli
