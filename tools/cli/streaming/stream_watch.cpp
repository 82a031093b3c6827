#include "streaming/stream_watch.h"

#include <windows.h>

#include <cstdio>

#include "asiochan.h"
#include "console/progress.h"
#include "streaming/run_outcome.h"

namespace cli {

void StreamWatch::restart() {
    // The run before ended with its reset request or its restart: its count was final then.
    skippedBefore_ += skippedInRun_;
    skippedInRun_ = 0;
    periods_ = GetPeriodCount();
    // What ran before the first look may already follow a notice of this run.
    beforeClean_ = 0;
    break_ = {};
    lastChangeMs_ = GetTickCount();
}

double StreamWatch::streamSeconds(std::uint32_t periods) const {
    const double rate = GetCurrentSampleRate();
    return secondsBefore_ + (rate > 0 ? double(periods) * GetBufferSizePreferred() / rate : 0.0);
}

StreamWatch::Event StreamWatch::poll() {
    const std::uint32_t before = GetPeriodCount();
    const std::uint32_t requests = GetDriverRequests();
    const std::uint32_t periods = GetPeriodCount();
    const std::uint32_t now = GetTickCount();
    const std::string warnings = requestWarnings(requests, streamSeconds(periods));
    if (!warnings.empty()) {
        breakProgress();
        std::fflush(stdout);
        std::fprintf(stderr, "%s", warnings.c_str());
    }
    if (requests & (ASIOCHAN_REQUEST_RESET | ASIOCHAN_REQUEST_SAMPLE_RATE)) {
        skippedInRun_ = GetSkippedPeriods();
        const bool newRate = (requests & ASIOCHAN_REQUEST_SAMPLE_RATE) != 0;
        // From a reset request on the count stands still; a new rate streams on.
        break_ = {newRate ? beforeClean_ : periods, GetBufferSizePreferred(), newRate};
        return Event::reset;
    }
    beforeClean_ = before;
    if (periods != periods_) {
        periods_ = periods;
        lastChangeMs_ = now;
        return Event::none;
    }
    return now - lastChangeMs_ >= kStallMs ? Event::stalled : Event::none;
}

StreamWatch::Step StreamWatch::follow(const char* driverName, std::initializer_list<Resumable*> parts) {
    const Event event = poll();
    if (event == Event::stalled) {
        for (Resumable* part : parts)
            if (part != nullptr) part->halt();
        reportStall();
        return Step::stalled;
    }
    if (event != Event::reset) return Step::streaming;
    for (Resumable* part : parts)
        if (part != nullptr) part->hold(break_);
    if (!restartRun(driverName)) return Step::runLost;
    for (Resumable* part : parts)
        if (part != nullptr && !part->resume()) return Step::partLost;
    return Step::restarted;
}

std::uint32_t StreamWatch::skippedPeriods() {
    skippedInRun_ = GetSkippedPeriods();
    return skippedBefore_ + skippedInRun_;
}

bool StreamWatch::restartRun(const char* driverName) {
    const std::int32_t before = GetBufferSizePreferred();
    const double rateBefore = GetCurrentSampleRate();
    const double at = streamSeconds(break_.periods);
    secondsBefore_ = at;
    Finish();
    // A run that streamed on after a new rate may have skipped periods until now.
    skippedInRun_ = GetSkippedPeriods();
    const std::int32_t initialized = Initialize();
    breakProgress();
    std::fflush(stdout);
    // Arrows as "->": a console's code page may not show anything else.
    const std::int32_t after = GetBufferSizePreferred();
    if (break_.newRate)
        std::fprintf(stderr, "%s\n", rateChangeWarning(rateBefore, GetCurrentSampleRate(), at).c_str());
    else if (after != before)
        std::printf("driver asked for a reset (buffer %d -> %d frames); restarting\n", int(before), int(after));
    else
        std::printf("driver asked for a reset (buffer %d frames); restarting\n", int(before));
    std::fflush(stdout);
    if (initialized != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the driver \"%s\" did not initialize after its reset (code %d)\n", driverName,
                     int(initialized));
        return false;
    }
    const std::int32_t prepared = Prepare();
    if (prepared != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the driver \"%s\" did not start after its reset (code %d)\n", driverName,
                     int(prepared));
        return false;
    }
    restart();
    return true;
}

void reportStall() {
    // Ends the progress line first: the error goes to the other stream.
    breakProgress();
    std::fprintf(stderr, "error: the driver stopped delivering periods\n");
}

void reportSkips(std::uint32_t periods, const char* consequence) {
    if (periods == 0) return;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", skipWarning(periods, consequence).c_str());
}

}  // namespace cli
