// The players against the engine and the simulated driver, whose clock the test
// steps: what reaches the driver's output buffers, block joins and loop passes
// included.
#include <gtest/gtest.h>

#include "asiochan.h"
#include "fileplay/fake_playback_service.h"
#include "fileplay/file_player.h"
#include "fileplay/wav_files.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using testing::waitUntil;
using testing::WavFormat;

constexpr AsioLong kFrames = 50;          // frames per period
constexpr std::uint32_t kFileRate = 100;  // blocks of 200 samples: four periods

// 16-bit mono sample bytes and the output bytes they give at volume 1.
std::vector<std::uint8_t> pcm(const std::vector<std::int16_t>& values) { return testing::pcm16(values); }
std::vector<std::uint8_t> output(const std::vector<std::int16_t>& values) {
    std::vector<std::uint8_t> out;
    for (std::int16_t v : values)
        out.insert(out.end(),
                   {0, 0, static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8)});
    return out;
}
std::vector<std::int16_t> series(int count, int first, int stride = 1) {
    std::vector<std::int16_t> v;
    for (int i = 0; i < count; ++i) v.push_back(static_cast<std::int16_t>(first + i * stride));
    return v;
}
std::vector<std::uint8_t> silence(std::size_t samples) { return std::vector<std::uint8_t>(samples * 4, 0); }

template <typename T>
std::vector<T> joined(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class PlayerEndToEndTest : public testing::StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        testing::setPlayerTiming(2, 20);
        prepareRun(smallDriver(4, 0, kFrames));
    }
    void TearDown() override { StreamTest::TearDown(); }

    std::string file(const std::string& name, const std::vector<std::int16_t>& values) {
        return folder_.write(name, testing::wavBytes(WavFormat{1, kFileRate, 16}, pcm(values)));
    }
    // Waits until the worker has queued a block behind the one that plays.
    void waitQueued(std::uint32_t channel) {
        ASSERT_TRUE(waitUntil([&] { return IsCanSendNextPlaybackBuffer(channel) == 0; })) << "channel " << channel;
    }

    testing::TempFolder folder_;
};

TEST_F(PlayerEndToEndTest, SingleChannelSamplesReachTheDriverBlockAfterBlock) {
    const auto values = series(450, -200, 3);  // blocks of 200, 200 and 50 samples
    ASSERT_EQ(SingleChanelPlayStart(file("a.wav", values).c_str(), 1, 0), 1);
    waitQueued(1);
    step(4);  // the first block has played; the worker queues the third
    waitQueued(1);
    step(6);
    EXPECT_EQ(played(1), joined(output(values), silence(50)));
    EXPECT_EQ(played(0), silence(500));
    EXPECT_EQ(played(2), silence(500));
    EXPECT_TRUE(waitUntil([] { return IsSingleInPlay() == 0; }));
}

TEST_F(PlayerEndToEndTest, LoopPassesFollowWithoutAGap) {
    const auto values = series(150, 1);  // one block of three periods a pass
    ASSERT_EQ(SingleChanelPlayStart(file("loop.wav", values).c_str(), 3, 1), 1);
    std::vector<std::uint8_t> expected;
    for (int pass = 0; pass < 5; ++pass) {
        waitQueued(3);  // the next pass waits behind the one about to play
        step(3);
        expected = joined(expected, output(values));
    }
    EXPECT_EQ(played(3), expected);
}

TEST_F(PlayerEndToEndTest, StopSilencesTheChannelAtTheNextPeriod) {
    ASSERT_EQ(MultipleChanelPlayStart(file("s.wav", series(1000, 5)).c_str(), 0x6, 1), 1);
    waitQueued(1);
    waitQueued(2);
    step(2);
    MultipleChanelPlayStop();
    ASSERT_TRUE(waitUntil([] { return IsPortPlaybackRunning(1) == 0 && IsPortPlaybackRunning(2) == 0; }));
    ASSERT_TRUE(waitUntil([] { return testing::library().multiple.heldChannels() == 0; }));
    step(2);
    const auto expected = joined(output(series(100, 5)), silence(100));
    EXPECT_EQ(played(1), expected);
    EXPECT_EQ(played(2), expected);
}

TEST_F(PlayerEndToEndTest, BothPlayersAtOnceOnDifferentChannels) {
    const auto a = series(200, 100), b = series(200, -100, -1);
    EXPECT_EQ(MultipleChanelSetVolume(0.5f), 1);  // the single-channel player keeps its own
    ASSERT_EQ(SingleChanelPlayStart(file("a.wav", a).c_str(), 3, 0), 1);
    ASSERT_EQ(MultipleChanelPlayStart(file("b.wav", b).c_str(), 0x3, 0), 1);
    ASSERT_TRUE(waitUntil([] { return IsPortPlaybackRunning(3) == 1 && IsPortPlaybackRunning(1) == 1; }));
    step(5);
    EXPECT_EQ(played(3), joined(output(a), silence(50)));
    std::vector<std::int16_t> halved;
    for (std::int16_t v : b) halved.push_back(static_cast<std::int16_t>(v / 2));  // truncated toward zero
    EXPECT_EQ(played(0), joined(output(halved), silence(50)));
    EXPECT_EQ(played(1), played(0));
    EXPECT_EQ(played(2), silence(250));
}

}  // namespace
}  // namespace asiochan
