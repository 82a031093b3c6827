#include "streaming/stream_take.h"

#include <cstdio>

#include "asiochan.h"
#include "streaming/run_outcome.h"
#include "streaming/session.h"
#include "streaming/stream_calls.h"
#include "system/clock.h"

namespace cli {

namespace {
// What a look at the run comes to for a measurement.
TakeEnd afterStep(const RunStep& step, RunFollower& follower) {
    reportRequests(step.noted, follower.seconds());
    switch (step.kind) {
        case RunStep::streaming:
            return TakeEnd::whole;
        case RunStep::restarted:
            return TakeEnd::retake;
        case RunStep::stalled:
            reportStall();
            return TakeEnd::lost;
        default:
            return TakeEnd::lost;
    }
}
}  // namespace

TakeEnd settle(RunFollower& follower, double seconds) {
    const std::uint64_t until = monotonicMs() + static_cast<std::uint64_t>(seconds * 1000);
    while (monotonicMs() < until) {
        if (interrupted()) return TakeEnd::interrupted;
        const TakeEnd end = afterStep(follower.follow({}), follower);
        if (end == TakeEnd::lost) return end;
        sleepMs(5);
    }
    return TakeEnd::whole;
}

TakeEnd takeOnce(const TakeShape& shape, const std::vector<float>& play, std::size_t recordFrames,
                 RunFollower& follower, std::vector<float>* recording) {
    if (interrupted()) return TakeEnd::interrupted;
    recording->assign(recordFrames, 0.0f);
    const AsiochanStreamConfig config = streamConfig(ASIOCHAN_STREAM_FLOAT32, {shape.in}, {shape.out}, 0);
    AsiochanStreamState state{};
    state.size = sizeof state;
    const std::uint32_t skippedBefore = follower.skippedPeriods();
    // The call ends by itself: a few seconds past the recording's length at most.
    const double seconds = static_cast<double>(recordFrames) / shape.rate + 5.0;
    const std::int32_t recorded =
        PlayAndRecord(&config, play.data(), static_cast<std::int32_t>(play.size()), recording->data(),
                      static_cast<std::int32_t>(recordFrames), static_cast<std::int32_t>(seconds * 1000), &state);
    if (recorded < 0) {
        std::fprintf(stderr, "error: output %u and input %u could not be played and recorded: %s\n", shape.out,
                     shape.in, streamCodeText(recorded).c_str());
        return TakeEnd::failed;
    }
    const TakeEnd end = afterStep(follower.follow({}), follower);
    if (end != TakeEnd::whole) return end;
    return loopTakeWhole(recorded, recordFrames, state, follower.skippedPeriods() != skippedBefore) ? TakeEnd::whole
                                                                                                   : TakeEnd::retake;
}

}  // namespace cli
