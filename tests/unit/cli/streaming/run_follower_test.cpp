#include "streaming/run_follower.h"

#include <gtest/gtest.h>

#include <string>

#include "asiochan.h"

namespace {

struct ScriptedDriver : cli::RunDriver {
    std::uint32_t requests = 0, periods = 0, skipped = 0;
    double rate = 48000, rateAfterRestart = 48000;
    std::uint64_t now = 0;
    bool comesBack = true;
    int restarts = 0;
    bool restartedForRate = false;

    std::uint32_t takeRequests() override { return std::exchange(requests, 0u); }
    std::uint32_t periodCount() override { return periods; }
    std::uint32_t skippedPeriods() override { return skipped; }
    double sampleRate() override { return rate; }
    std::uint64_t nowMs() override { return now; }
    bool restart(bool newRate, double) override {
        ++restarts;
        restartedForRate = newRate;
        skipped = 0;
        rate = rateAfterRestart;
        return comesBack;
    }
};

struct LoggedPart : cli::RunPart {
    std::string log;
    bool canResume = true;
    void hold() override { log += "hold "; }
    bool resume() override {
        log += "resume ";
        return canResume;
    }
    void halt() override { log += "halt "; }
};

// One look at the run after it streamed for a while: what the driver asked (or
// did not do) decides whether the run restarts, the command ends or goes on, and
// what each part of the command is told.
TEST(CliRunFollower, EachRequestRestartsEndsOrLeavesTheRunAsItsRulesSay) {
    constexpr std::uint32_t kReset = ASIOCHAN_REQUEST_RESET, kRate = ASIOCHAN_REQUEST_SAMPLE_RATE;
    const struct {
        const char* name;
        bool oneRate;  // the command's output holds one rate
        std::uint32_t requests;
        std::uint64_t quietMs;  // time without a period before the look
        double rateAfterRestart;
        bool comesBack, canResume;
        cli::RunStep::Kind kind;
        const char* log;
        int restarts;
    } cases[] = {
        {"periods flow", false, 0, 0, 48000, true, true, cli::RunStep::streaming, "", 0},
        {"no period for just under the limit", false, 0, 1999, 48000, true, true, cli::RunStep::streaming, "", 0},
        {"no period for the limit", false, 0, 2000, 48000, true, true, cli::RunStep::stalled, "halt ", 0},
        {"reset", true, kReset, 0, 48000, true, true, cli::RunStep::restarted, "hold resume ", 1},
        {"reset, the driver does not come back", false, kReset, 0, 48000, false, true, cli::RunStep::runLost, "hold ", 1},
        {"reset, a part cannot go on", false, kReset, 0, 48000, true, false, cli::RunStep::partLost, "hold resume ", 1},
        {"rate change, a player restarts at the new rate", false, kRate, 0, 44100, true, true,
         cli::RunStep::restarted, "hold resume ", 1},
        {"rate change, a capture ends", true, kRate, 0, 44100, true, true, cli::RunStep::rateChanged,
         "hold halt ", 1},
        {"a rate announced but unchanged, a capture goes on", true, kRate, 0, 48000, true, true,
         cli::RunStep::restarted, "hold resume ", 1},
        {"reset to a new rate, a capture ends", true, kReset, 0, 44100, true, true, cli::RunStep::rateChanged,
         "hold halt ", 1},
        {"resync and latencies are only noted", true, ASIOCHAN_REQUEST_RESYNC | ASIOCHAN_REQUEST_LATENCIES, 0, 44100,
         true, true, cli::RunStep::streaming, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDriver driver;
        LoggedPart part, other;
        cli::RunFollower follower(driver, {c.oneRate, 2000});
        follower.begin();
        driver.skipped = 3;
        driver.periods += 10;
        driver.now += 100;
        ASSERT_EQ(follower.follow({&part, nullptr}).kind, cli::RunStep::streaming);
        driver.now += c.quietMs;
        driver.periods += c.quietMs > 0 ? 0 : 1;
        driver.requests = c.requests;
        driver.rateAfterRestart = c.rateAfterRestart;
        driver.comesBack = c.comesBack;
        part.canResume = c.canResume;
        const cli::RunStep step = follower.follow({&part, &other});
        EXPECT_EQ(step.kind, c.kind);
        EXPECT_EQ(part.log, c.log);
        EXPECT_EQ(driver.restarts, c.restarts);
        EXPECT_EQ(driver.restartedForRate, c.requests == kRate);
        EXPECT_EQ(step.rateBefore, 48000);
        EXPECT_EQ(step.rate, c.restarts && c.comesBack ? c.rateAfterRestart : 48000);
        EXPECT_EQ(step.noted, c.requests & (ASIOCHAN_REQUEST_RESYNC | ASIOCHAN_REQUEST_LATENCIES));
        // Skipped periods of a run that was restarted still count.
        driver.skipped += 2;
        EXPECT_EQ(follower.skippedPeriods(), 5u);
    }
}

}  // namespace
