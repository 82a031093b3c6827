// Watching a streaming run: what the driver asks for or announces, and whether
// its periods still come. The long-running commands poll it between progress
// updates. A new sample rate is followed as a reset is: the run is restarted, so
// that every command reads the rate it now runs at.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "streaming/resumable.h"

namespace cli {

// How long a run may go without a period before the driver counts as stopped.
constexpr std::uint32_t kStallMs = 2000;

class StreamWatch {
public:
    enum class Event {
        none,
        reset,    // the driver asked to be restarted or announced a new sample rate
        stalled,  // no period for kStallMs
    };

    // What follow did.
    enum class Step {
        streaming,  // nothing: the run streams
        restarted,  // reset or new rate: the run was restarted, every part resumed
        partLost,   // the run was restarted, but a part could not go on (reason printed)
        runLost,    // the run did not come back after the reset (reason printed)
        stalled,    // no period for kStallMs: every part was halted, the stall reported
    };

    // Call after every Prepare: the run starts with nothing asked and no period.
    void restart();
    // Reads what the driver asked for once; a resync and new latencies are
    // reported as warnings with their time in the stream and the run goes on.
    Event poll();
    // The one reset, rate-change and stall path of the streaming commands: polls,
    // and after a reset request or a new rate holds `parts` (null ones are
    // skipped), restarts the run and resumes them in order, stopping at the first
    // that cannot go on; after a stall halts them and reports it.
    Step follow(const char* driverName, std::initializer_list<Resumable*> parts);
    // After Event::reset: prints what happened (the period sizes, the new rate),
    // then Finish, Initialize and Prepare, and restart. False, with the reason
    // printed, when the driver does not come back.
    bool restartRun(const char* driverName);
    // Where the run broke off, read when the reset or the new rate was seen: the
    // periods that moved audio before it (the count stops at a reset request; after
    // a new rate only the periods known to precede its notice count).
    RunBreak runBreak() const { return break_; }
    // The periods the driver skipped in all the runs watched, read now (a restart
    // after a reset request is no skip).
    std::uint32_t skippedPeriods();

private:
    // Seconds of audio the runs watched moved up to `periods` periods of this one.
    double streamSeconds(std::uint32_t periods) const;

    std::uint32_t periods_ = 0;
    // Periods read before the last look at the requests that found no new rate:
    // all of them ran at the old rate.
    std::uint32_t beforeClean_ = 0;
    RunBreak break_;
    std::uint32_t lastChangeMs_ = 0;
    double secondsBefore_ = 0;  // audio the runs before this one moved
    // Skipped in the runs before this one, and in this one when last read.
    std::uint32_t skippedBefore_ = 0;
    std::uint32_t skippedInRun_ = 0;
};

// Prints that the driver stopped delivering periods.
void reportStall();

// Prints that the driver skipped `periods` periods, so that `consequence` ("the
// capture has gaps"); nothing when it skipped none.
void reportSkips(std::uint32_t periods, const char* consequence);

}  // namespace cli
