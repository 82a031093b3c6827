// What the driver asks for mid-stream, sent from the simulated driver's own clock
// thread: the request bits, the period count, and a reset holding the stream.
#include <algorithm>

#include "asiochan.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ramp;

constexpr AsioLong kFrames = 32;
constexpr std::size_t kPeriod = kFrames * 4;

class DriverRequestsTest : public testing::StreamTest {
protected:
    // Queues a ramp on output 0 and arms input 0, both longer than the test runs.
    void startStreams() {
        sent_ = ramp(8 * kPeriod, 1);
        ASSERT_EQ(SetPlayBuffer(sent_.data(), static_cast<std::int32_t>(sent_.size()), 0), ASE_OK);
        captured_.assign(8 * kPeriod, 0);
        ASSERT_EQ(SetCaptureBuffer(captured_.data(), static_cast<std::int32_t>(captured_.size()), 0), ASE_OK);
        StartPlayback();
        StartCapture();
    }
    bool silent(const Bytes& b, std::size_t from, std::size_t to) {
        return std::all_of(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to),
                           [](std::uint8_t v) { return v == 0; });
    }
    Bytes sent_, captured_;
};

TEST_F(DriverRequestsTest, EachNoticeIsReportedOnceAndOnlyAResetHoldsTheStream) {
    struct Row {
        const char* what;
        std::uint32_t notices;
        std::uint32_t bits;
        bool holds;
        bool leftUnread;  // the next row's Prepare comes before the application reads them
    };
    const Row rows[] = {
        {"reset", sim::kNoticeReset, kRequestReset, true, false},
        {"resync", sim::kNoticeResync, kRequestResync, false, false},
        {"all, left unread", 15, 15, true, true},
        {"latencies", sim::kNoticeLatencies, kRequestLatencies, false, false},
        {"rate", sim::kNoticeSampleRate, kRequestSampleRate, false, false},
        {"all at once", 15, 15, true, false},
    };
    EXPECT_EQ(GetPeriodCount(), 0u);
    prepareRun(smallDriver(2, 2, kFrames));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // A notice the application never read does not outlive the run.
        ASSERT_EQ(Prepare(), ASE_OK);
        EXPECT_EQ(GetDriverRequests(), 0u);
        EXPECT_EQ(GetPeriodCount(), 0u);
        startStreams();
        step(1);
        EXPECT_EQ(GetPeriodCount(), 1u);
        EXPECT_EQ(GetDriverRequests(), 0u);
        driver_->clock().sendNotices(row.notices, 44100.0);
        step(2);
        EXPECT_EQ(GetPeriodCount(), row.holds ? 1u : 3u);
        if (!row.leftUnread) {
            EXPECT_EQ(GetDriverRequests(), row.bits);
            EXPECT_EQ(GetDriverRequests(), 0u);
        }
        if (row.bits & kRequestSampleRate) {
            EXPECT_EQ(engine().requests.lastSampleRate(), 44100.0);
        }

        const Bytes& out = played(0);
        ASSERT_EQ(out.size(), 3 * kPeriod);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + kPeriod, sent_.begin()));
        if (row.holds) {
            // Silence over whole halves, nothing captured after the request, and
            // the queued playback still where it was.
            EXPECT_TRUE(silent(out, kPeriod, 3 * kPeriod));
            EXPECT_TRUE(silent(captured_, kPeriod, captured_.size()));
            EXPECT_EQ(IsPortCaptureRunning(0), 1);
            EXPECT_EQ(IsPortPlaybackRunning(0), 1);
        } else {
            EXPECT_TRUE(std::equal(out.begin(), out.end(), sent_.begin()));
            EXPECT_FALSE(silent(captured_, 2 * kPeriod, 3 * kPeriod));
        }
        driver_->clock().clearRecordings();
    }
    EXPECT_EQ(Finish(), ASE_OK);
    EXPECT_EQ(GetPeriodCount(), 0u);
}

TEST_F(DriverRequestsTest, SkippedPeriodsAreCountedFromTheSamplePositionsOfEitherCallback) {
    struct Row {
        const char* what;
        std::int64_t moved;  // periods the driver's position moves between two calls, beyond the one
        bool valid;          // whether the driver gives a valid sample position
        std::uint32_t skipped;
    };
    const Row rows[] = {
        {"no valid position", 4, false, 0},
        {"the next period", 0, true, 0},
        {"two periods on", 1, true, 1},
        {"five periods on", 4, true, 4},
        // One step adds less than 2^31, however far a nonsense position jumps.
        {"billions of periods on", std::int64_t{3} << 31, true, INT32_MAX},
        {"no step", -1, true, 1},
        {"a step backwards", -2, true, 1},
    };
    for (bool timeInfo : {false, true}) {
        SCOPED_TRACE(timeInfo ? "bufferSwitchTimeInfo" : "bufferSwitch");
        sim::ClockOptions clock;
        clock.useTimeInfo = timeInfo;
        prepareRun(smallDriver(2, 2, kFrames), clock);
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            driver_->clock().options().samplePositionValid = row.valid;
            ASSERT_EQ(Prepare(), ASE_OK);
            EXPECT_EQ(GetSkippedPeriods(), 0u);
            startStreams();
            step(2);
            driver_->clock().skipPeriods(row.moved);
            step(1);
            EXPECT_EQ(GetSkippedPeriods(), row.skipped);
            EXPECT_EQ(GetDriverRequests(), row.skipped != 0 ? kRequestSkippedPeriods : 0u);
            step(1);
            EXPECT_EQ(GetSkippedPeriods(), row.skipped);
            EXPECT_EQ(GetDriverRequests(), 0u);
            // Playback goes on where it was; a skip changes nothing in the stream.
            EXPECT_EQ(GetPeriodCount(), 4u);
            EXPECT_TRUE(std::equal(played(0).begin(), played(0).end(), sent_.begin(), sent_.begin() + 4 * kPeriod));
        }
        // The last run's count outlives its Finish.
        EXPECT_EQ(Finish(), ASE_OK);
        EXPECT_EQ(GetSkippedPeriods(), 1u);
    }
}

TEST_F(DriverRequestsTest, AfterAResetFinishInitializePrepareStreamsAtTheDriversNewSize) {
    prepareRun(smallDriver(2, 2, kFrames));
    startStreams();
    step(1);
    driver_->requestReset(2 * kFrames);
    driver_->clock().skipPeriods(4);  // from the reset request on, nothing counts as skipped
    step(1);
    ASSERT_EQ(GetDriverRequests(), kRequestReset);
    EXPECT_EQ(GetSkippedPeriods(), 0u);
    EXPECT_TRUE(silent(captured_, kPeriod, captured_.size()));

    ASSERT_EQ(Finish(), ASE_OK);
    ASSERT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(GetBufferSizePreferred(), 2 * kFrames);
    ASSERT_EQ(Prepare(), ASE_OK);
    EXPECT_EQ(GetDriverRequests(), 0u);
    startStreams();
    step(2);
    EXPECT_EQ(GetPeriodCount(), 2u);
    EXPECT_EQ(GetSkippedPeriods(), 0u);  // nor across the Prepare, nor at the new size
    const Bytes& out = played(0);
    ASSERT_EQ(out.size(), 4 * kPeriod);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), sent_.begin()));
    EXPECT_FALSE(silent(captured_, 3 * kPeriod, 4 * kPeriod));
    EXPECT_TRUE(silent(captured_, 4 * kPeriod, captured_.size()));
}

}  // namespace
}  // namespace asiochan
