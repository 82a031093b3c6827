#include "asiochan.h"

#include <algorithm>

#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ramp;

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
Bytes slice(const Bytes& b, std::size_t from, std::size_t n) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + n));
}
Bytes zeros(std::size_t n) { return Bytes(n, 0); }

// 512 frames of 4 bytes: 2048 bytes per period.
class PlaybackTest : public testing::StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        prepareRun(smallDriver(4, 2, 512));
    }
    static constexpr std::size_t kPeriod = 2048;
    PlaybackChannel& record(int ch) { return engine().playbackChannels[ch]; }
};

TEST_F(PlaybackTest, RefusesNullDataAndChannelsOutsideTheTable) {
    const Bytes data(16, 1);
    EXPECT_EQ(SetPlayBuffer(nullptr, 16, 0), ASE_InvalidParameter);
    EXPECT_EQ(SetPlayBuffer(data.data(), 16, 64), ASE_InvalidParameter);
    EXPECT_EQ(SetPlayBuffer(data.data(), 16, static_cast<std::uint32_t>(-1)), ASE_InvalidParameter);
    EXPECT_EQ(SetPlayBuffer(data.data(), -1, 0), ASE_NoMemory);
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    for (std::uint32_t ch : {64u, 65u, 1000u, 0xffffffffu}) {
        EXPECT_EQ(IsCanSendNextPlaybackBuffer(ch), 0) << ch;
        EXPECT_EQ(IsPortPlaybackRunning(ch), 0) << ch;
    }
    EXPECT_EQ(PlayBuff(), 0);
}

TEST_F(PlaybackTest, QueueIsTwoDeep) {
    const Bytes data(kPeriod, 7);
    EXPECT_EQ(SetPlayBuffer(data.data(), kPeriod, 1), ASE_OK);
    EXPECT_EQ(IsCanSendNextPlaybackBuffer(1), 1);
    EXPECT_EQ(IsPortPlaybackRunning(1), 1);
    EXPECT_EQ(SetPlayBuffer(data.data(), kPeriod, 1), ASE_OK);
    EXPECT_EQ(IsCanSendNextPlaybackBuffer(1), 0);
    EXPECT_EQ(SetPlayBuffer(data.data(), kPeriod, 1), ASE_InvalidMode);
    StartPlayback();
    step();
    // The first buffer is played; the queued one was promoted.
    EXPECT_EQ(IsCanSendNextPlaybackBuffer(1), 1);
    EXPECT_EQ(SetPlayBuffer(data.data(), kPeriod, 1), ASE_OK);
}

TEST_F(PlaybackTest, JoinOfTheWorkedExampleByteForByte) {
    const Bytes a = ramp(3072, 1), b = ramp(4096, 101);
    ASSERT_EQ(SetPlayBuffer(a.data(), 3072, 2), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(b.data(), 4096, 2), ASE_OK);
    StartPlayback();
    step();
    EXPECT_EQ(lastPeriod(2), slice(a, 0, 2048));
    EXPECT_EQ(record(2).readOffset.load(), 2048);
    step();
    EXPECT_EQ(lastPeriod(2), concat({slice(a, 2048, 1024), slice(b, 0, 1024)}));
    EXPECT_EQ(record(2).readPos.load(), record(2).current.load() + 1024);
    EXPECT_EQ(record(2).length.load(), 4096 - 1024);
    EXPECT_EQ(record(2).readOffset.load(), 0);
    EXPECT_EQ(record(2).next.load(), nullptr);
    EXPECT_EQ(IsCanSendNextPlaybackBuffer(2), 1);
    step();
    EXPECT_EQ(lastPeriod(2), slice(b, 1024, 2048));
    step();
    EXPECT_EQ(lastPeriod(2), concat({slice(b, 3072, 1024), zeros(1024)}));
    EXPECT_EQ(IsPortPlaybackRunning(2), 0);
    EXPECT_EQ(engine().playbackRunning(), 0);
    // Other channels were silent all along.
    EXPECT_EQ(played(0), zeros(4 * kPeriod));
}

TEST_F(PlaybackTest, WholePeriodBuffersNeedNoJoin) {
    const Bytes a = ramp(3 * kPeriod, 3), b = ramp(kPeriod, 9);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(b.data(), static_cast<std::int32_t>(b.size()), 0), ASE_OK);
    StartPlayback();
    step(3);
    EXPECT_EQ(played(0), a);
    EXPECT_EQ(record(0).readPos.load(), record(0).current.load());  // over = 0
    EXPECT_EQ(IsCanSendNextPlaybackBuffer(0), 1);
    step();
    EXPECT_EQ(played(0), concat({a, b}));
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
}

TEST_F(PlaybackTest, ShortLastBufferEndsInSilenceAndStopsTheRun) {
    const Bytes a = ramp(kPeriod * 3 / 2, 5);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 3), ASE_OK);
    StartPlayback();
    step(2);
    EXPECT_EQ(played(3), concat({a, zeros(kPeriod / 2)}));
    EXPECT_EQ(IsPortPlaybackRunning(3), 0);
    EXPECT_EQ(engine().playbackRunning(), 0);
    EXPECT_EQ(record(3).current.load(), nullptr);
}

TEST_F(PlaybackTest, QueuedBufferShorterThanTheJoinIsNotReadPastItsEnd) {
    // 1.5 periods, then a queued buffer of 100 bytes: the join needs 1024.
    const Bytes a = ramp(kPeriod * 3 / 2, 5), b = ramp(100, 200), c = ramp(kPeriod, 40);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 1), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(b.data(), 100, 1), ASE_OK);
    StartPlayback();
    step(2);
    EXPECT_EQ(played(1), concat({a, b, zeros(kPeriod / 2 - 100)}));
    EXPECT_EQ(record(1).length.load(), 0);  // never negative
    EXPECT_EQ(IsCanSendNextPlaybackBuffer(1), 1);
    ASSERT_EQ(SetPlayBuffer(c.data(), kPeriod, 1), ASE_OK);
    step(2);
    // The used-up block joins straight into the next one; then the channel ends.
    EXPECT_EQ(slice(played(1), 2 * kPeriod, 2 * kPeriod), concat({c, zeros(kPeriod)}));
    EXPECT_EQ(IsPortPlaybackRunning(1), 0);
}

TEST_F(PlaybackTest, EmptyBuffersAreAcceptedAndPlayNothing) {
    const Bytes a = ramp(kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), 0, 0), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(a.data(), kPeriod, 0), ASE_OK);
    StartPlayback();
    step();
    EXPECT_EQ(played(0), a);  // joined from the start
}

TEST_F(PlaybackTest, BufferHandedOverBeforeStartWaitsForIt) {
    const Bytes a = ramp(kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), kPeriod, 0), ASE_OK);
    step(2);
    EXPECT_EQ(played(0), zeros(2 * kPeriod));
    EXPECT_EQ(IsPortPlaybackRunning(0), 1);
    EXPECT_EQ(record(0).readOffset.load(), 0);
    StartPlayback();
    step();
    EXPECT_EQ(lastPeriod(0), a);
}

TEST_F(PlaybackTest, StartWithNothingToPlayIsUndoneAfterOnePeriod) {
    StartPlayback();
    EXPECT_EQ(engine().playbackRunning(), 1);
    step();
    EXPECT_EQ(engine().playbackRunning(), 0);
}

TEST_F(PlaybackTest, StopWhileNotRunningOnlyReopensTheQueues) {
    const Bytes a = ramp(kPeriod, 1), b = ramp(kPeriod, 50), c = ramp(kPeriod, 90);
    ASSERT_EQ(SetPlayBuffer(a.data(), kPeriod, 0), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(b.data(), kPeriod, 0), ASE_OK);
    std::uint8_t* queued = record(0).next.load();
    StopPlayback();
    EXPECT_EQ(IsCanSendNextPlaybackBuffer(0), 1);
    EXPECT_EQ(record(0).next.load(), queued);
    EXPECT_EQ(IsPortPlaybackRunning(0), 1);
    // The reopened queue takes a new buffer in place of the old one.
    ASSERT_EQ(SetPlayBuffer(c.data(), kPeriod, 0), ASE_OK);
    StartPlayback();
    step(2);
    EXPECT_EQ(played(0), concat({zeros(0), a, c}));
}

TEST_F(PlaybackTest, StopWhileRunningReleasesEverythingAndSilencesAtOnce) {
    const Bytes a = ramp(4 * kPeriod, 1), b = ramp(kPeriod, 9);
    for (int ch = 0; ch < 4; ++ch) {
        ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), ch), ASE_OK);
        ASSERT_EQ(SetPlayBuffer(b.data(), kPeriod, ch), ASE_OK);
    }
    StartPlayback();
    step();
    StopPlayback();
    EXPECT_EQ(engine().playbackRunning(), 0);
    for (int ch = 0; ch < 4; ++ch) {
        EXPECT_EQ(IsPortPlaybackRunning(ch), 0);
        EXPECT_EQ(IsCanSendNextPlaybackBuffer(ch), 1);
        EXPECT_EQ(record(ch).current.load(), nullptr);
        EXPECT_EQ(record(ch).next.load(), nullptr);
    }
    step();
    EXPECT_EQ(lastPeriod(0), zeros(kPeriod));
}

TEST_F(PlaybackTest, ReleasingAChannelLeavesTheOthersPlaying) {
    const Bytes a = ramp(4 * kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 1), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(a.data(), kPeriod, 1), ASE_OK);
    testing::library().engine.releasePlaybackChannel(1);  // not running: only the flag
    EXPECT_EQ(IsPortPlaybackRunning(1), 1);
    EXPECT_EQ(IsCanSendNextPlaybackBuffer(1), 1);
    StartPlayback();
    step();
    testing::library().engine.releasePlaybackChannel(1);
    EXPECT_EQ(IsPortPlaybackRunning(1), 0);
    EXPECT_EQ(record(1).current.load(), nullptr);
    EXPECT_EQ(record(1).next.load(), nullptr);
    step();
    EXPECT_EQ(lastPeriod(1), zeros(kPeriod));
    EXPECT_EQ(lastPeriod(0), slice(a, kPeriod, kPeriod));
    EXPECT_EQ(engine().playbackRunning(), 1);
}

TEST_F(PlaybackTest, ChannelAboveTheDeviceQueuesButNeverPlays) {
    const Bytes a = ramp(kPeriod, 1);
    EXPECT_EQ(SetPlayBuffer(a.data(), kPeriod, 9), ASE_OK);
    EXPECT_EQ(SetPlayBuffer(a.data(), kPeriod, 9), ASE_InvalidMode);
    EXPECT_EQ(IsPortPlaybackRunning(9), 1);
}

TEST_F(PlaybackTest, PlaysTheBytesAsTheyWereAtTheCall) {
    Bytes a = ramp(kPeriod, 1);
    const Bytes original = a;
    ASSERT_EQ(SetPlayBuffer(a.data(), kPeriod, 0), ASE_OK);
    std::fill(a.begin(), a.end(), 0xee);
    StartPlayback();
    step();
    EXPECT_EQ(played(0), original);
}

TEST_F(PlaybackTest, AChannelThatFellIdleStartsAgainWithTheNextHandover) {
    const Bytes a = ramp(kPeriod, 1), b = ramp(kPeriod, 77);
    ASSERT_EQ(SetPlayBuffer(a.data(), kPeriod, 0), ASE_OK);
    StartPlayback();
    step(2);
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    EXPECT_EQ(engine().playbackRunning(), 0);
    ASSERT_EQ(SetPlayBuffer(b.data(), kPeriod, 0), ASE_OK);
    StartPlayback();
    step();
    EXPECT_EQ(played(0), concat({a, zeros(kPeriod), b}));
}

}  // namespace
}  // namespace asiochan
