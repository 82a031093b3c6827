// StartCaptureAndPlayback starts both directions in one period, whatever the
// driver's thread does meanwhile.
//
// The call publishes both run flags with one change of one word, and a period
// reads that word once at its start (buffer_switch.cpp): a period that runs
// between the call's steps sees both flags or neither. The first test drives a
// free-running driver against the call over many rounds and checks where each
// direction began.
#include "asiochan.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

class JointStartTest : public testing::StreamTest {
protected:
    // Input 0's pattern from byte `offset` on.
    static Bytes pattern(std::uint64_t offset, std::size_t length) {
        Bytes b(length);
        for (std::size_t i = 0; i < length; ++i) b[i] = sim::inputPatternByte(0, offset + i);
        return b;
    }
};

TEST_F(JointStartTest, BothDirectionsStartInTheSamePeriod) {
    constexpr AsioLong kFrames = 8;
    constexpr std::size_t kPeriod = kFrames * 4;
    sim::SimConfig config = smallDriver(1, 1, kFrames);
    config.keepCallLog = false;
    sim::SimDriver& d = install(config);
    d.clock().options().freeRunning = true;
    d.clock().options().periodMicros = 20;
    ASSERT_EQ(Initialize(), ASE_OK);
    ASSERT_EQ(Prepare(), ASE_OK);
    const Bytes sound(kPeriod, 0x7f);  // never silent, a whole period
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        // A fresh run (the clock starts again): a block to play, a buffer to fill.
        ASSERT_EQ(Prepare(), ASE_OK);
        Bytes target(kPeriod, 0);
        ASSERT_EQ(SetCaptureBuffer(target.data(), static_cast<std::int32_t>(kPeriod), 0), ASE_OK);
        ASSERT_EQ(SetPlayBuffer(sound.data(), static_cast<std::int32_t>(kPeriod), 0), ASE_OK);
        const std::uint64_t before = d.clock().periodsRun();
        StartCaptureAndPlayback();
        ASSERT_TRUE(testing::waitUntil("the capture to complete and the block to play", [&] {
            return IsPortCaptureRunning(0) == 0 && IsPortPlaybackRunning(0) == 0;
        }));
        d.clock().stop();  // the recording is read while no period runs
        // The period that captured: the one whose input the buffer holds.
        const std::uint64_t periods = d.clock().periodsRun();
        std::uint64_t captured = UINT64_MAX;
        for (std::uint64_t p = before; p < periods && captured == UINT64_MAX; ++p)
            if (target == pattern(p * kPeriod, kPeriod))
                captured = p;
        // The period that played: the first one since the call whose output is not silent.
        const Bytes& out = d.clock().recorded(0);
        std::uint64_t played = UINT64_MAX;
        for (std::uint64_t p = before; (p + 1) * kPeriod <= out.size() && played == UINT64_MAX; ++p)
            if (out[p * kPeriod] != 0) played = p;
        ASSERT_NE(played, UINT64_MAX);
        EXPECT_EQ(captured, played);
    }
}

}  // namespace
}  // namespace asiochan
