#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asiochan.h"
#include "console/exit_codes.h"
#include "streaming/run_outcome.h"

namespace {

using Step = cli::RunStep::Kind;
using cli::CaptureEnd;

// A capture's steps: whether it follows on, and what they leave in its outcome.
TEST(CliRunOutcome, StepsEndACaptureOrLeaveTheGapOfAReset) {
    const struct {
        const char* what;
        std::vector<Step> steps;
        bool followsOn;  // after the last step
        bool restarted, failed;
    } cases[] = {
        {"streaming", {Step::streaming, Step::streaming}, true, false, false},
        {"a reset it came back from", {Step::streaming, Step::restarted, Step::streaming}, true, true, false},
        {"a part lost after the reset", {Step::partLost}, false, true, true},
        {"the run lost after the reset", {Step::runLost}, false, false, true},
        {"a stall", {Step::streaming, Step::stalled}, false, false, true},
        {"a new rate", {Step::streaming, Step::rateChanged}, false, false, true},
    };
    for (const auto& c : cases) {
        cli::CaptureOutcome outcome;
        bool on = true;
        for (Step step : c.steps) on = cli::noteCaptureStep(outcome, step);
        EXPECT_EQ(on, c.followsOn) << c.what;
        EXPECT_EQ(outcome.restarted, c.restarted) << c.what;
        EXPECT_EQ(outcome.failed, c.failed) << c.what;
        // A player's run ends with the same steps, and fails with them.
        EXPECT_EQ(cli::exitForStep(c.steps.back()), c.followsOn ? cli::kGoOn : cli::kExitFailure) << c.what;
    }
}

// A latency or sweep take is whole only when every frame came in its place: a
// source that dropped frames, even with the count recorded in full, is taken again.
TEST(CliRunOutcome, LoopTakeWholeOnlyWithoutDropsOrSkips) {
    const struct {
        const char* what;
        std::int32_t recorded;
        std::uint64_t dropped;
        bool skipped, whole;
    } cases[] = {
        {"every frame", 48000, 0, false, true},
        {"inputs dropped 256 frames", 48000, 256, false, false},
        {"ended short", 47999, 0, false, false},
        {"the driver skipped periods", 48000, 0, true, false},
        {"refused", ASIOCHAN_INVALID_MODE, 0, false, false},
    };
    for (const auto& c : cases) {
        AsiochanStreamState state{};
        state.size = sizeof state;
        state.recorded = c.recorded > 0 ? static_cast<std::uint64_t>(c.recorded) : 0;
        state.dropped = c.dropped;
        EXPECT_EQ(cli::loopTakeWhole(c.recorded, 48000, state, c.skipped), c.whole) << c.what;
    }
}

// What a closed capture comes to: any failure, gap or drop is exit code 1; the
// loopback is checked only on a file without the gap of a reset.
TEST(CliRunOutcome, CaptureEndsByWhatWentWrong) {
    const struct {
        const char* what;
        cli::CaptureOutcome outcome;
        bool closed, played;
        CaptureEnd end;
        const char* notes;
    } cases[] = {
        {"complete", {false, false, true, 0, 0}, true, false, CaptureEnd::written, ""},
        {"complete, played", {false, false, true, 0, 0}, true, true, CaptureEnd::checkLoopback, ""},
        {"a reset, played",
         {true, false, true, 0, 0},
         true,
         true,
         CaptureEnd::loopbackSkipped,
         ", with the gap of the driver's reset"},
        {"a reset, not played",
         {true, false, true, 0, 0},
         true,
         false,
         CaptureEnd::written,
         ", with the gap of the driver's reset"},
        {"skipped periods", {false, false, true, 1, 0}, true, true, CaptureEnd::failed, ""},
        {"dropped frames", {false, false, true, 0, 7}, true, false, CaptureEnd::failed, ""},
        {"a failure", {false, true, false, 0, 0}, true, false, CaptureEnd::failed, ", stopped early"},
        {"the file not closed", {false, false, true, 0, 0}, false, false, CaptureEnd::failed, ""},
        {"ended by a new rate",
         {true, true, false, 0, 0, true},
         true,
         true,
         CaptureEnd::failed,
         ", up to the driver's change of sample rate, stopped early"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cli::judgeCapture(c.outcome, c.closed, c.played), c.end) << c.what;
        EXPECT_EQ(cli::captureNotes(c.outcome, true), c.notes) << c.what;
    }
    // Until Ctrl+C, a capture is never stopped early.
    EXPECT_EQ(cli::captureNotes({false, false, false, 0, 0}, false), "");
}

TEST(CliRunOutcome, WarningsSayHowManyAndWhere) {
    EXPECT_EQ(cli::skipWarning(0, "gaps"), "");
    EXPECT_EQ(cli::skipWarning(1, "gaps"), "warning: the driver skipped 1 period: gaps");
    EXPECT_EQ(cli::skipWarning(4294967295u, "gaps"), "warning: the driver skipped 4294967295 periods: gaps");
    EXPECT_EQ(cli::dropWarning(480, 48000 * 3725 + 4800, 48000),
              "warning: the inputs dropped 480 frames at 01:02:05.1 (frame 178804800): the file has silence there");
    EXPECT_EQ(cli::clockOf(59.96), "00:01:00.0");
}

// What the driver announces and the stream goes on through is one warning each,
// with its time; a new rate names both rates.
TEST(CliRunOutcome, DriverNoticesAreWarningsWithTheirTime) {
    const std::string resync =
        "warning: the driver lost its timing and asked for a resync at 00:01:02.5; the stream goes on\n";
    const std::string latencies = "warning: the driver's latencies changed at 00:01:02.5; the stream goes on\n";
    const struct {
        std::uint32_t requests;
        std::string lines;
    } cases[] = {
        {0, ""},
        {ASIOCHAN_REQUEST_RESYNC, resync},
        {ASIOCHAN_REQUEST_LATENCIES, latencies},
        {ASIOCHAN_REQUEST_RESYNC | ASIOCHAN_REQUEST_LATENCIES | ASIOCHAN_REQUEST_SAMPLE_RATE, resync + latencies},
        {ASIOCHAN_REQUEST_RESET | ASIOCHAN_REQUEST_SKIPPED_PERIODS, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(cli::requestWarnings(c.requests, 62.5), c.lines) << c.requests;
    EXPECT_EQ(cli::rateChangeWarning(48000, 44100, 0.54),
              "warning: the driver changed its sample rate at 00:00:00.5: 48000 Hz -> 44100 Hz; restarting");
    EXPECT_EQ(cli::rateChangeWarning(48000, 48000, 0.54),
              "warning: the driver announced a new sample rate at 00:00:00.5 but still runs at 48000 Hz; restarting");
}

}  // namespace
