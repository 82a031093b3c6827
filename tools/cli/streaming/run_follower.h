// Following a driver's run, the one way every streaming command does it. A reset
// request restarts the run (Finish, Initialize, Prepare) and resumes each part of
// the command on the new one; a new sample rate does the same (the run reads its
// rate only when prepared), except that a command whose output holds one rate
// ends when the rate did change; resyncs and latency changes are noted for a
// warning; a run whose periods stop coming for a while is halted. The driver's calls come through an
// interface, so that the rules run in the host build.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace cli {

// How long a run may go without a period before the driver counts as stopped.
constexpr std::uint32_t kStallMs = 2000;

// The calls following a run makes.
class RunDriver {
public:
    virtual ~RunDriver() = default;
    // The request bits (ASIOCHAN_REQUEST_*) the driver set since the last call.
    virtual std::uint32_t takeRequests() = 0;
    virtual std::uint32_t periodCount() = 0;
    // The periods the driver skipped in this run.
    virtual std::uint32_t skippedPeriods() = 0;
    virtual double sampleRate() = 0;
    virtual std::uint64_t nowMs() = 0;
    // Finish, Initialize and Prepare, after a reset request or (`newRate`) a new
    // sample rate announced `atSeconds` into the command; false with the reason printed.
    virtual bool restart(bool newRate, double atSeconds) = 0;
};

// A part of a command that outlives restarts of the run (a stream it reads or writes).
class RunPart {
public:
    virtual ~RunPart() = default;
    // The run is about to go: stop moving audio, keep what was moved.
    virtual void hold() = 0;
    // A new run is prepared: go on from where the part was. False, with the
    // reason printed, when it cannot.
    virtual bool resume() = 0;
    // The run ends for good (no periods, or a rate the part cannot take): stop.
    virtual void halt() = 0;
};

struct FollowRules {
    bool endAtRateChange = false;  // the command's output holds one rate (a capture's file)
    std::uint32_t stallMs = kStallMs;  // no period for this long: the driver stopped
};

struct RunStep {
    enum Kind {
        streaming,    // nothing to do
        restarted,    // the run was restarted and every part resumed
        rateChanged,  // the rate changed and the rules end the command there; parts halted
        partLost,     // restarted, but a part could not go on (reason printed)
        runLost,      // the run did not come back (reason printed)
        stalled,      // no period for stallMs; parts halted
    };
    Kind kind = streaming;
    double rate = 0;           // the run's rate now (after a restart: the new one)
    double rateBefore = 0;     // before a restart or a change
    std::uint32_t noted = 0;   // resync and latency requests seen, to be warned about
};

class RunFollower {
public:
    RunFollower(RunDriver& driver, FollowRules rules) : driver_(driver), rules_(rules) {}
    // Call after every Prepare: the run starts with nothing asked and no period.
    void begin();
    // One look: acts on what the driver asked since the last one.
    RunStep follow(std::initializer_list<RunPart*> parts);
    // The periods the driver skipped in all the runs followed.
    std::uint32_t skippedPeriods();
    // Seconds since the first begin(), for the time of a warning.
    double seconds();

private:
    RunStep restart(std::initializer_list<RunPart*> parts, RunStep step, bool newRate);

    RunDriver& driver_;
    FollowRules rules_;
    double rate_ = 0;
    std::uint32_t periods_ = 0;
    std::uint64_t lastPeriodMs_ = 0;
    std::uint32_t skippedBefore_ = 0;  // in the runs before this one
    std::uint64_t startMs_ = 0;
    bool started_ = false;
};

}  // namespace cli
