// What a streaming run went through (resets, skipped periods, stalls, drops) and
// what it comes to: the warnings printed and the exit code. Plain functions, so
// that the rules are tried without a driver.
#pragma once

#include <cstdint>
#include <string>

#include "asiochan.h"
#include "streaming/run_follower.h"

namespace cli {

// "warning: the driver skipped 3 periods: <consequence>", or "" for none.
std::string skipWarning(std::uint32_t periods, const char* consequence);
// "01:23:45.6": a place in a capture.
std::string clockOf(double seconds);
// One drop of `frames` frames at frame `at` of a capture at `rate`.
std::string dropWarning(std::uint64_t frames, std::uint64_t at, double rate);

// One line for each request of `requests` (ASIOCHAN_REQUEST_* bits) that the
// stream goes on through, a resync and new latencies, each with the time
// `seconds` into the stream; "" for none.
std::string requestWarnings(std::uint32_t requests, double seconds);
// The driver announced a new sample rate `seconds` into the stream: it ran at
// `before` and reads `after` once initialized again (the same when it did not change).
std::string rateChangeWarning(double before, double after, double seconds);
// Why a capture ends where the driver changed its rate from `before` to `after`.
std::string rateChangeEnd(double before, double after);

// The exit code a look at the run ends a player's run with, or kGoOn: a stall, a
// run that did not come back, a part that could not go on and a new rate the
// command cannot follow fail.
int exitForStep(RunStep::Kind step);

// How a capture's stream went.
struct CaptureOutcome {
    bool restarted = false;  // the driver's reset left a gap in the file
    bool failed = false;     // the capture ended before its time
    bool complete = false;   // it has the length asked for
    std::uint32_t skipped = 0;
    std::uint64_t dropped = 0;
    bool newRate = false;  // it ended where the driver changed its sample rate
};

// Notes one look at the run: false when the capture ends with it (what it holds
// is written all the same).
bool noteCaptureStep(CaptureOutcome& outcome, RunStep::Kind step);

// What a capture comes to once its file is closed (`closed` false when that failed).
enum class CaptureEnd {
    failed,           // exit code 1: a failure, gaps or drops
    written,          // exit code 0, nothing to compare
    loopbackSkipped,  // exit code 0: the gap of a reset spoils the comparison
    checkLoopback,    // the loopback check decides
};
CaptureEnd judgeCapture(const CaptureOutcome& outcome, bool closed, bool played);
// The end of the "wrote ..." line: the gap of a reset, an early stop.
std::string captureNotes(const CaptureOutcome& outcome, bool timed);

// What one take of latency or sweep comes to: `recorded` frames of the `wanted`
// came (PlayAndRecord), `state` the stream's after it, `skipped` whether the driver
// skipped periods meanwhile. Whole only when every frame came, none was dropped
// and none skipped; anything else is taken again.
bool loopTakeWhole(std::int32_t recorded, std::size_t wanted, const AsiochanStreamState& state, bool skipped);

}  // namespace cli
