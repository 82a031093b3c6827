#include "streaming/run_follower.h"

#include "asiochan.h"

namespace cli {

void RunFollower::begin() {
    if (!started_) startMs_ = driver_.nowMs();
    started_ = true;
    rate_ = driver_.sampleRate();
    periods_ = driver_.periodCount();
    lastPeriodMs_ = driver_.nowMs();
}

RunStep RunFollower::follow(std::initializer_list<RunPart*> parts) {
    const std::uint32_t requests = driver_.takeRequests();
    RunStep step;
    step.rate = step.rateBefore = rate_;
    step.noted = requests & (ASIOCHAN_REQUEST_RESYNC | ASIOCHAN_REQUEST_LATENCIES);
    const bool reset = (requests & ASIOCHAN_REQUEST_RESET) != 0;
    const bool rateChange = (requests & ASIOCHAN_REQUEST_SAMPLE_RATE) != 0;
    if (reset || rateChange) return restart(parts, step, rateChange && !reset);
    const std::uint32_t periods = driver_.periodCount();
    const std::uint64_t now = driver_.nowMs();
    if (periods != periods_) {
        periods_ = periods;
        lastPeriodMs_ = now;
    } else if (now - lastPeriodMs_ >= rules_.stallMs) {
        for (RunPart* part : parts)
            if (part) part->halt();
        step.kind = RunStep::stalled;
    }
    return step;
}

RunStep RunFollower::restart(std::initializer_list<RunPart*> parts, RunStep step, bool newRate) {
    for (RunPart* part : parts)
        if (part) part->hold();
    // The run before ended here: its count of skipped periods is final.
    skippedBefore_ += driver_.skippedPeriods();
    if (!driver_.restart(newRate, seconds())) {
        step.kind = RunStep::runLost;
        return step;
    }
    begin();
    step.rate = rate_;
    if (rules_.endAtRateChange && rate_ != step.rateBefore) {
        for (RunPart* part : parts)
            if (part) part->halt();
        step.kind = RunStep::rateChanged;
        return step;
    }
    step.kind = RunStep::restarted;
    for (RunPart* part : parts)
        if (part && !part->resume()) {
            step.kind = RunStep::partLost;
            break;
        }
    return step;
}

std::uint32_t RunFollower::skippedPeriods() { return skippedBefore_ + driver_.skippedPeriods(); }

double RunFollower::seconds() { return static_cast<double>(driver_.nowMs() - startMs_) / 1000.0; }

}  // namespace cli
