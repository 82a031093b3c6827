#include "streaming/run_outcome.h"

#include <cstdio>

#include "console/exit_codes.h"

namespace cli {

std::string skipWarning(std::uint32_t periods, const char* consequence) {
    if (periods == 0) return "";
    return "warning: the driver skipped " + std::to_string(periods) + (periods == 1 ? " period: " : " periods: ") +
           consequence;
}

std::string clockOf(double seconds) {
    const auto tenths = static_cast<std::uint64_t>(seconds * 10 + 0.5);
    char text[40];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu.%llu", (unsigned long long)(tenths / 36000),
                  (unsigned long long)(tenths / 600 % 60), (unsigned long long)(tenths / 10 % 60),
                  (unsigned long long)(tenths % 10));
    return text;
}

std::string dropWarning(std::uint64_t frames, std::uint64_t at, double rate) {
    return "warning: the inputs dropped " + std::to_string(frames) + " frames at " +
           clockOf(static_cast<double>(at) / rate) + " (frame " + std::to_string(at) + "): the file has silence there";
}

int exitForStep(StreamWatch::Step step) {
    const bool lost =
        step == StreamWatch::Step::stalled || step == StreamWatch::Step::runLost || step == StreamWatch::Step::partLost;
    return lost ? kExitFailure : kGoOn;
}

bool noteCaptureStep(CaptureOutcome& outcome, StreamWatch::Step step) {
    if (step == StreamWatch::Step::streaming) return true;
    outcome.restarted =
        outcome.restarted || step == StreamWatch::Step::restarted || step == StreamWatch::Step::partLost;
    if (step == StreamWatch::Step::restarted) return true;
    outcome.failed = true;
    return false;
}

CaptureEnd judgeCapture(const CaptureOutcome& outcome, bool closed, bool played) {
    if (outcome.failed || !closed || outcome.skipped != 0 || outcome.dropped != 0) return CaptureEnd::failed;
    if (!played) return CaptureEnd::written;
    return outcome.restarted ? CaptureEnd::loopbackSkipped : CaptureEnd::checkLoopback;
}

std::string captureNotes(const CaptureOutcome& outcome, bool timed) {
    std::string notes = outcome.restarted ? ", with the gap of the driver's reset" : "";
    if (!outcome.complete && timed) notes += ", stopped early";
    return notes;
}

}  // namespace cli
