#include "streaming/stream_watch.h"

#include <windows.h>

#include <cstdio>

#include "asiochan.h"
#include "console/progress.h"
#include "streaming/run_outcome.h"

namespace cli {

void StreamWatch::restart() {
    // The run before ended with its reset request: its count was final then.
    skippedBefore_ += skippedInRun_;
    skippedInRun_ = 0;
    periods_ = GetPeriodCount();
    periodsAtReset_ = 0;
    lastChangeMs_ = GetTickCount();
}

StreamWatch::Event StreamWatch::poll() {
    const std::uint32_t requests = GetDriverRequests();
    const std::uint32_t periods = GetPeriodCount();
    const std::uint32_t now = GetTickCount();
    if (requests & ASIOCHAN_REQUEST_RESET) {
        skippedInRun_ = GetSkippedPeriods();
        periodsAtReset_ = periods;
        return Event::reset;
    }
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
    const std::int32_t frames = GetBufferSizePreferred();
    for (Resumable* part : parts)
        if (part != nullptr) part->hold(periodsAtReset_, frames);
    if (!restartRun(driverName)) return Step::runLost;
    restart();
    for (Resumable* part : parts)
        if (part != nullptr && !part->resume()) return Step::partLost;
    return Step::restarted;
}

std::uint32_t StreamWatch::skippedPeriods() {
    skippedInRun_ = GetSkippedPeriods();
    return skippedBefore_ + skippedInRun_;
}

bool restartRun(const char* driverName) {
    const std::int32_t before = GetBufferSizePreferred();
    Finish();
    const std::int32_t initialized = Initialize();
    const std::int32_t after = GetBufferSizePreferred();
    // Arrows as "->": a console's code page may not show anything else.
    breakProgress();
    if (after != before)
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
