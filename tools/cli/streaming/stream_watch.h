// Watching a streaming run: what the driver asks for, and whether its periods
// still come. The long-running commands poll it between progress updates.
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
        reset,    // the driver asked to be restarted
        stalled,  // no period for kStallMs
    };

    // What follow did.
    enum class Step {
        streaming,  // nothing: the run streams
        restarted,  // the driver asked for a reset: the run was restarted, every part resumed
        partLost,   // the run was restarted, but a part could not go on (reason printed)
        runLost,    // the run did not come back after the reset (reason printed)
        stalled,    // no period for kStallMs: every part was halted, the stall reported
    };

    // Call after every Prepare: the run starts with nothing asked and no period.
    void restart();
    Event poll();
    // The one reset-and-stall path of the streaming commands: polls, and after a
    // reset request holds `parts` (null ones are skipped), restarts the run and
    // resumes them in order, stopping at the first that cannot go on; after a
    // stall halts them and reports it.
    Step follow(const char* driverName, std::initializer_list<Resumable*> parts);
    // The periods that moved audio in this run, read when the reset was seen (the
    // count stops at a reset request).
    std::uint32_t periodsAtReset() const { return periodsAtReset_; }
    // The periods the driver skipped in all the runs watched, read now (a restart
    // after a reset request is no skip).
    std::uint32_t skippedPeriods();

private:
    std::uint32_t periods_ = 0;
    std::uint32_t periodsAtReset_ = 0;
    std::uint32_t lastChangeMs_ = 0;
    // Skipped in the runs before this one, and in this one when last read.
    std::uint32_t skippedBefore_ = 0;
    std::uint32_t skippedInRun_ = 0;
};

// After a reset request: prints one line with the old and new period sizes, then
// Finish, Initialize and Prepare. False, with the reason printed, when the driver
// does not come back.
bool restartRun(const char* driverName);

// Prints that the driver stopped delivering periods.
void reportStall();

// Prints that the driver skipped `periods` periods, so that `consequence` ("the
// capture has gaps"); nothing when it skipped none.
void reportSkips(std::uint32_t periods, const char* consequence);

}  // namespace cli
