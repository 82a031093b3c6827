// A stop waits for the period under way before it releases anything, and gives
// up (leaking rather than freeing) when that period does not end.
#include "engine/period_guard.h"

#include <atomic>
#include <thread>

#include "engine/channel_blocks.h"
#include "asiochan.h"
#include "support/allocation_counter.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

class PeriodGuardTest : public testing::StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        prepareRun(smallDriver(2, 2, 64));
        const std::vector<std::uint8_t> data(1024, 1);
        ASSERT_EQ(SetPlayBuffer(data.data(), 1024, 0), ASE_OK);
        ASSERT_EQ(SetPlayBuffer(data.data(), 1024, 0), ASE_OK);
        StartPlayback();
    }

    // Stands for a period that has begun on the driver's thread and ends when told.
    void holdPeriodOpen() {
        holder_ = std::thread([this] {
            PeriodScope period(testing::library().engine.periods());
            entered_ = true;
            while (!release_.load()) std::this_thread::yield();
            ended_ = true;
        });
        while (!entered_.load()) std::this_thread::yield();
    }
    void endPeriod() {
        release_ = true;
        holder_.join();
    }

    std::thread holder_;
    std::atomic<bool> entered_{false}, release_{false}, ended_{false};
};

TEST_F(PeriodGuardTest, ReleaseWaitsForThePeriodUnderWay) {
    EXPECT_TRUE(testing::library().engine.periods().waitForPeriodsInFlight()) << "no period runs: nothing to wait for";
    const long long heapAtStart = testing::liveHeapBytes();
    holdPeriodOpen();
    std::thread stopper([] { testing::library().engine.releasePlaybackChannel(0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(IsPortPlaybackRunning(0), 1);  // still waiting: nothing reset yet
    endPeriod();
    stopper.join();
    EXPECT_TRUE(ended_.load());
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    EXPECT_EQ(engine().playbackChannels[0].current.load(), nullptr);
    EXPECT_EQ(heapAtStart - testing::liveHeapBytes(), 2 * (1024 + kBlockOverheadBytes))
        << "the channel's two blocks were not released";
}

TEST_F(PeriodGuardTest, APeriodThatNeverEndsMakesTheStopLeakInsteadOfFree) {
    std::uint8_t* current = engine().playbackChannels[0].current.load();
    std::uint8_t* next = engine().playbackChannels[0].next.load();
    holdPeriodOpen();
    StopPlayback();  // gives up after the wait limit
    EXPECT_FALSE(ended_.load());
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    EXPECT_EQ(engine().playbackChannels[0].current.load(), nullptr);
    // Still readable: the blocks were dropped, not released.
    EXPECT_EQ(current[0], 1);
    EXPECT_EQ(next[1023], 1);
    endPeriod();
    releaseBlock(current);
    releaseBlock(next);
}

}  // namespace
}  // namespace asiochan
