#include "simdriver/core/sim_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "asiochan.h"
#include "simdriver/core/sim_driver.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A host that only notes what the clock hands it.
std::atomic<int> indexLog[8];
std::atomic<int> calls{0};
std::atomic<int> timeInfoCalls{0};
void ASIOCHAN_CDECL noteSwitch(AsioLong index, ASIOBool) {
    const int n = calls.fetch_add(1);
    if (n < 8) indexLog[n] = index;
}
ASIOTime* ASIOCHAN_CDECL noteTimeInfo(ASIOTime* time, AsioLong index, ASIOBool direct) {
    EXPECT_NE(time, nullptr);
    timeInfoCalls.fetch_add(1);
    noteSwitch(index, direct);
    return nullptr;
}

class SimClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        calls = 0;
        timeInfoCalls = 0;
        driver_ = new sim::SimDriver(sim::SimConfig{});
    }
    void TearDown() override { driver_->Release(); }
    void createBuffers() {
        infos_[0] = ASIOBufferInfo{ASIOFalse, 0, {nullptr, nullptr}};
        infos_[1] = ASIOBufferInfo{ASIOTrue, 0, {nullptr, nullptr}};
        ASSERT_EQ(driver_->createBuffers(infos_, 2, 64, &callbacks_), ASE_OK);
    }
    sim::SimDriver* driver_;
    ASIOBufferInfo infos_[2];
    ASIOCallbacks callbacks_{&noteSwitch, nullptr, nullptr, &noteTimeInfo};
};

TEST_F(SimClockTest, SteppedPeriodsAlternateTheHalvesAndStopJoins) {
    createBuffers();
    EXPECT_FALSE(driver_->clock().running());
    ASSERT_EQ(driver_->start(), ASE_OK);
    EXPECT_TRUE(driver_->clock().running());
    ASSERT_TRUE(driver_->clock().step(4));
    EXPECT_EQ(calls.load(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(indexLog[i].load(), i & 1);
    EXPECT_EQ(timeInfoCalls.load(), 0);
    ASSERT_EQ(driver_->stop(), ASE_OK);
    EXPECT_FALSE(driver_->clock().running());
    EXPECT_FALSE(driver_->clock().step(1, 50));
    EXPECT_EQ(calls.load(), 4);
    // The input half of the last period holds the pattern at the right offset.
    EXPECT_EQ(driver_->buffers()[1].halves[1][5], sim::inputPatternByte(0, 3 * 256 + 5));
}

TEST_F(SimClockTest, FreeRunningTimeInfoAtAPaceUntilStopped) {
    createBuffers();
    driver_->clock().options().freeRunning = true;
    driver_->clock().options().periodMicros = 500;
    driver_->clock().options().useTimeInfo = true;
    ASSERT_EQ(driver_->start(), ASE_OK);
    ASSERT_TRUE(driver_->clock().waitForPeriods(10, 10000));
    ASSERT_EQ(driver_->disposeBuffers(), ASE_OK);  // stops the clock too
    const int after = calls.load();
    EXPECT_GE(after, 10);
    EXPECT_EQ(timeInfoCalls.load(), after);
    EXPECT_FALSE(driver_->clock().running());
    EXPECT_EQ(calls.load(), after);
}

TEST_F(SimClockTest, RecordingCanBeBoundedOrSwitchedOff) {
    createBuffers();
    driver_->clock().options().recordLimitBytes = 3 * 256;
    ASSERT_EQ(driver_->start(), ASE_OK);
    ASSERT_TRUE(driver_->clock().step(5));
    EXPECT_EQ(driver_->clock().recorded(0).size(), 3u * 256);
    EXPECT_TRUE(driver_->clock().recorded(1).empty());  // inputs are not recorded
    ASSERT_EQ(driver_->stop(), ASE_OK);
    driver_->clock().options().recordOutputs = false;
    ASSERT_EQ(driver_->start(), ASE_OK);
    ASSERT_TRUE(driver_->clock().step(2));
    EXPECT_TRUE(driver_->clock().recorded(0).empty());
}

TEST_F(SimClockTest, AStalledClockStopsCallingButStillStops) {
    createBuffers();
    driver_->clock().options().freeRunning = true;
    driver_->clock().options().stallAfter = 5;  // before the start: a free-running clock cannot pass it
    ASSERT_EQ(driver_->start(), ASE_OK);
    ASSERT_TRUE(driver_->clock().waitForPeriods(5, 10000));
    platform::sleepMs(20);
    EXPECT_EQ(driver_->clock().periodsRun(), 5u);
    EXPECT_EQ(calls.load(), 5);
    ASSERT_EQ(driver_->stop(), ASE_OK);
    EXPECT_FALSE(driver_->clock().running());
    // A stall asked for while the clock runs holds too (once the clock has seen it,
    // at most the period under way ends), and the next start clears it.
    driver_->clock().options().stallAfter = UINT64_MAX;
    ASSERT_EQ(driver_->start(), ASE_OK);
    ASSERT_TRUE(driver_->clock().waitForPeriods(10, 10000));
    driver_->clock().stallAfter(0);
    platform::sleepMs(20);
    const std::uint64_t afterStall = driver_->clock().periodsRun();
    platform::sleepMs(20);
    EXPECT_LE(driver_->clock().periodsRun(), afterStall + 1);
    ASSERT_EQ(driver_->stop(), ASE_OK);
    ASSERT_EQ(driver_->start(), ASE_OK);
    ASSERT_TRUE(driver_->clock().waitForPeriods(10, 10000));
}

class LoopbackTest : public testing::StreamTest {};

TEST_F(LoopbackTest, WhatIsPlayedIsCapturedOnePeriodLater) {
    sim::ClockOptions clock;
    clock.inputFill = sim::InputFill::loopback;
    prepareRun(smallDriver(2, 2, 64), clock);
    const Bytes sound = testing::ramp(4 * 256, 9);
    Bytes captured(5 * 256, 0xff);
    ASSERT_EQ(SetPlayBuffer(sound.data(), static_cast<std::int32_t>(sound.size()), 1), ASE_OK);
    ASSERT_EQ(SetCaptureBuffer(captured.data(), static_cast<std::int32_t>(captured.size()), 1), ASE_OK);
    StartPlayback();
    StartCapture();
    step(5);
    Bytes expected(5 * 256, 0);
    std::copy(sound.begin(), sound.end(), expected.begin() + 256);
    EXPECT_EQ(captured, expected);
}

}  // namespace
}  // namespace asiochan
