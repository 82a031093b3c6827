#include "streaming/run_outcome.h"

#include <cstdio>

#include "asiochan.h"
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

std::string requestWarnings(std::uint32_t requests, double seconds) {
    std::string lines;
    if (requests & ASIOCHAN_REQUEST_RESYNC)
        lines += "warning: the driver lost its timing and asked for a resync at " + clockOf(seconds) +
                 "; the stream goes on\n";
    if (requests & ASIOCHAN_REQUEST_LATENCIES)
        lines += "warning: the driver's latencies changed at " + clockOf(seconds) + "; the stream goes on\n";
    return lines;
}

namespace {
std::string hertz(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f Hz", rate);
    return text;
}
}  // namespace

std::string rateChangeWarning(double before, double after, double seconds) {
    if (after == before)
        return "warning: the driver announced a new sample rate at " + clockOf(seconds) + " but still runs at " +
               hertz(after) + "; restarting";
    return "warning: the driver changed its sample rate at " + clockOf(seconds) + ": " + hertz(before) + " -> " +
           hertz(after) + "; restarting";
}

std::string rateChangeEnd(double before, double after) {
    return "error: a WAV file holds one sample rate: the capture ends where the driver changed it from " +
           hertz(before) + " to " + hertz(after);
}

int exitForStep(RunStep::Kind step) {
    const bool lost = step == RunStep::stalled || step == RunStep::runLost || step == RunStep::partLost ||
                      step == RunStep::rateChanged;
    return lost ? kExitFailure : kGoOn;
}

bool noteCaptureStep(CaptureOutcome& outcome, RunStep::Kind step) {
    if (step == RunStep::streaming) return true;
    outcome.restarted = outcome.restarted || step == RunStep::restarted || step == RunStep::partLost;
    if (step == RunStep::restarted) return true;
    outcome.failed = true;
    return false;
}

CaptureEnd judgeCapture(const CaptureOutcome& outcome, bool closed, bool played) {
    if (outcome.failed || !closed || outcome.skipped != 0 || outcome.dropped != 0) return CaptureEnd::failed;
    if (!played) return CaptureEnd::written;
    return outcome.restarted ? CaptureEnd::loopbackSkipped : CaptureEnd::checkLoopback;
}

std::string captureNotes(const CaptureOutcome& outcome, bool timed) {
    // A capture ended by a new rate holds no frame after its restart.
    std::string notes = outcome.newRate     ? ", up to the driver's change of sample rate"
                        : outcome.restarted ? ", with the gap of the driver's reset"
                                            : "";
    if (!outcome.complete && timed) notes += ", stopped early";
    return notes;
}

bool loopTakeWhole(std::int32_t recorded, std::size_t wanted, const AsiochanStreamState& state, bool skipped) {
    return recorded >= 0 && static_cast<std::size_t>(recorded) >= wanted && state.dropped == 0 && !skipped;
}

}  // namespace cli
