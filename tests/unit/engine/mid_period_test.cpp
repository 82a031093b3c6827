// Application calls that land in the middle of a period (between the copying and
// the bookkeeping) take effect from the next period: nothing is skipped. The
// period's seam at exactly that point (host build) stands in for the application
// thread.
#include <cstring>
#include <functional>

#include "asiochan.h"
#include "engine/seam.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPeriod = 64 * 4;

// What runs once in the middle of the next period.
struct MidPeriod {
    std::function<void()> midPeriod;
};
MidPeriod* current = nullptr;

void reached(const char* where) {
    if (current == nullptr || std::strcmp(where, "period: after the copies") != 0 || !current->midPeriod) return;
    const std::function<void()> call = std::move(current->midPeriod);
    current->midPeriod = nullptr;
    call();
}

class MidPeriodTest : public testing::StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        current = &midPeriod_;
        seam::setHandler(&reached);
        prepareRun(smallDriver(2, 2, 64));
    }
    void TearDown() override {
        seam::setHandler(nullptr);
        current = nullptr;
        StreamTest::TearDown();
    }
    MidPeriod midPeriod_;
    MidPeriod* mid_ = &midPeriod_;
};

TEST_F(MidPeriodTest, HandoverAndStartDuringAPeriodPlayFromTheNextOne) {
    const Bytes a = testing::ramp(2 * kPeriod, 1);
    mid_->midPeriod = [&] {
        EXPECT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
        StartPlayback();
    };
    step(3);
    Bytes expected(kPeriod, 0);
    expected.insert(expected.end(), a.begin(), a.end());
    EXPECT_EQ(played(0), expected);
}

TEST_F(MidPeriodTest, HandoverBesideAPlayingChannelPlaysFromTheNextPeriod) {
    const Bytes busy = testing::ramp(8 * kPeriod, 100), a = testing::ramp(2 * kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(busy.data(), static_cast<std::int32_t>(busy.size()), 1), ASE_OK);
    StartPlayback();
    mid_->midPeriod = [&] { EXPECT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK); };
    step(3);
    Bytes expected(kPeriod, 0);
    expected.insert(expected.end(), a.begin(), a.end());
    EXPECT_EQ(played(0), expected);
}

TEST_F(MidPeriodTest, CaptureArmedDuringAPeriodStartsAtTheNextOne) {
    Bytes other(8 * kPeriod), target(kPeriod, 0xcc);
    ASSERT_EQ(SetCaptureBuffer(other.data(), static_cast<std::int32_t>(other.size()), 1), ASE_OK);
    StartCapture();
    mid_->midPeriod = [&] { EXPECT_EQ(SetCaptureBuffer(target.data(), kPeriod, 0), ASE_OK); };
    step(1);
    EXPECT_EQ(IsPortCaptureRunning(0), 1);
    const std::uint64_t next = driver_->clock().periodsRun();
    step(1);
    EXPECT_TRUE(captureDone(0));
    Bytes expected(kPeriod);
    for (std::size_t i = 0; i < kPeriod; ++i) expected[i] = sim::inputPatternByte(0, next * kPeriod + i);
    EXPECT_EQ(target, expected);
}

TEST_F(MidPeriodTest, BlockQueuedWhileTheJoinFoundNoneStartsAtItsBeginning) {
    // The playing block ends half-way through period 2 with nothing queued: that
    // period's join plays its tail and then silence. A block queued right then
    // must play from its first byte in period 3, not from where a join into it
    // would have left off.
    const Bytes a = testing::ramp(3 * kPeriod / 2, 1), b = testing::ramp(2 * kPeriod, 77);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    StartPlayback();
    step(1);
    mid_->midPeriod = [&] { EXPECT_EQ(SetPlayBuffer(b.data(), static_cast<std::int32_t>(b.size()), 0), ASE_OK); };
    step(3);
    Bytes expected = a;
    expected.insert(expected.end(), kPeriod / 2, 0);
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(played(0), expected);
}

}  // namespace
}  // namespace asiochan
