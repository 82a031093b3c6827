// The players' worker against a recording channel service: which blocks are
// handed over, in what order and when, and how starts, stops and volumes behave.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <thread>

#include "engine/engine_state.h"
#include "fileplay/fake_playback_service.h"
#include "fileplay/file_player.h"
#include "fileplay/wav_files.h"
#include "support/open_files.h"
#include "support/test_library.h"
#include "support/wait.h"

namespace asiochan {
namespace {

using testing::FakePlaybackService;
using testing::ServiceCall;
using testing::waitUntil;
using testing::WavFormat;

constexpr std::uint32_t kTestPollMs = 5;
constexpr std::uint32_t kTestFinalWaitMs = 40;

// 16-bit values 0, 1, 2, ... of `frames` frames (the first channel), other channels -1.
std::vector<std::uint8_t> ramp16(int frames, int channels = 1) {
    std::vector<std::int16_t> values;
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) values.push_back(c == 0 ? static_cast<std::int16_t>(f) : -1);
    return testing::pcm16(values);
}

// The output bytes of 16-bit values from..to-1 (at volume 1), then `silent` zero samples.
std::vector<std::uint8_t> rampOutput(int from, int to, int silent = 0) {
    std::vector<std::uint8_t> out;
    for (int v = from; v < to; ++v)
        out.insert(out.end(), {0, 0, static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
    out.insert(out.end(), std::size_t(silent) * 4, 0);
    return out;
}

std::vector<std::uint32_t> sizesOf(const std::vector<ServiceCall>& calls) {
    std::vector<std::uint32_t> sizes;
    for (auto& c : calls) sizes.push_back(static_cast<std::uint32_t>(c.bytes.size()));
    return sizes;
}

class PlayerProtocolTest : public ::testing::Test {
protected:
    void SetUp() override {
        service().install();
        engine().outputChannelCount = 8;
        // Outputs of 32-bit little-endian samples, as a Prepare would have found them.
        engine().outputBufferCount = 8;
        engine().sampleSize[1] = 4;
        for (int i = 0; i < 8; ++i) {
            engine().entryWidth[i] = 4;
            engine().entryType[i] = ASIOSTInt32LSB;
        }
        engine().runPrepared = 1;  // the players start only into a prepared run
        testing::setPlayerTiming(kTestPollMs, kTestFinalWaitMs);
    }
    void TearDown() override {
        service().uninstall();
        EXPECT_EQ(testing::openDescriptors(), descriptorsAtStart_) << "a file was left open";
    }

    static FakePlaybackService& service() { return FakePlaybackService::instance(); }

    // A mono 16-bit file at 100 Hz: blocks of 200 frames (800 output bytes).
    std::string rampFile(int frames, const std::string& name = "ramp.wav") {
        return folder_.write(name, testing::wavBytes(WavFormat{1, 100, 16}, ramp16(frames)));
    }
    std::size_t setCount() const { return service().calls(ServiceCall::Set).size(); }
    ::testing::AssertionResult handedOver(std::size_t blocks) const {
        return waitUntil(std::to_string(blocks) + " blocks handed over", [&] { return setCount() == blocks; });
    }

    testing::TempFolder folder_;
    const std::ptrdiff_t descriptorsAtStart_ = testing::openDescriptors();
};

TEST_F(PlayerProtocolTest, SingleHandsOverTwoSecondBlocksTwoDeep) {
    ASSERT_EQ(SingleChanelPlayStart(rampFile(450).c_str(), 3, 0), 1);
    // The first block plays at once and the second is queued behind it; the third
    // waits until the channel can take it.
    ASSERT_TRUE(handedOver(2));
    EXPECT_TRUE(waitUntil("the single-channel player in play", [] { return IsSingleInPlay() == 1; }));
    EXPECT_EQ(setCount(), 2u);
    service().finishBlock(3);
    ASSERT_TRUE(handedOver(3));
    ASSERT_TRUE(waitUntil("the single-channel player to end", [] { return IsSingleInPlay() == 0; }));

    const auto calls = service().calls();
    ASSERT_EQ(calls.size(), 6u);  // each handover followed by a start, no release at a natural end
    std::vector<std::uint8_t> played;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].kind, i % 2 ? ServiceCall::Start : ServiceCall::Set);
        if (calls[i].kind == ServiceCall::Set) {
            EXPECT_EQ(calls[i].channel, 3u);
            played.insert(played.end(), calls[i].bytes.begin(), calls[i].bytes.end());
        }
    }
    EXPECT_EQ(sizesOf(service().calls(ServiceCall::Set)), (std::vector<std::uint32_t>{800, 800, 200}));
    EXPECT_EQ(played, rampOutput(0, 450));
}

TEST_F(PlayerProtocolTest, MultiQueuesEachBlockOnEveryChannelLowestFirst) {
    // A stereo file: only its first channel plays.
    const auto path = folder_.write("stereo.wav", testing::wavBytes(WavFormat{2, 100, 16}, ramp16(450, 2)));
    ASSERT_EQ(MultipleChanelPlayStart(path.c_str(), 0x5, 0), 1);
    EXPECT_EQ(testing::library().multiple.heldChannels(), 0x5u);
    ASSERT_TRUE(handedOver(4));
    // While channel 2 cannot take a further block, neither channel gets one.
    service().finishBlock(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(10 * kTestPollMs));
    EXPECT_EQ(setCount(), 4u);
    service().finishBlock(2);
    ASSERT_TRUE(handedOver(6));
    ASSERT_TRUE(waitUntil("the multi-channel worker to give its channels back",
                          [] { return testing::library().multiple.heldChannels() == 0; }));
    EXPECT_EQ(IsMultipleInPlay(), 0);

    const auto calls = service().calls();
    const ServiceCall::Kind pattern[] = {ServiceCall::Set, ServiceCall::Set, ServiceCall::Start};
    ASSERT_EQ(calls.size(), 9u);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].kind, pattern[i % 3]) << i;
        if (i % 3 == 0) {
            EXPECT_EQ(calls[i].channel, 0u);
        }
        if (i % 3 == 1) {
            EXPECT_EQ(calls[i].channel, 2u);
            EXPECT_EQ(calls[i].bytes, calls[i - 1].bytes);
        }
    }
    EXPECT_EQ(sizesOf(service().calls(ServiceCall::Set)), (std::vector<std::uint32_t>{800, 800, 800, 800, 200, 200}));
    EXPECT_EQ(calls[3].bytes, rampOutput(200, 400));
}

TEST_F(PlayerProtocolTest, StopGivesTheChannelsBackWithinAPoll) {
    testing::setPlayerTiming(kPlayerPollMs, kPlayerFinalWaitMs);  // the real pauses
    ASSERT_EQ(MultipleChanelPlayStart(rampFile(2000).c_str(), 0x6, 1), 1);
    ASSERT_TRUE(handedOver(4));  // both channels full: the worker waits
    ASSERT_TRUE(waitUntil("the multi-channel player in play", [] { return IsMultipleInPlay() == 1; }));
    const auto stopped = std::chrono::steady_clock::now();
    MultipleChanelPlayStop();
    EXPECT_EQ(IsMultipleInPlay(), 0);
    ASSERT_TRUE(waitUntil(
        "both channels released", [&] { return service().calls(ServiceCall::Release).size() == 2; }, 2000));
    const auto took = std::chrono::steady_clock::now() - stopped;
    EXPECT_LT(took, std::chrono::milliseconds(1000));  // a poll is 100 ms; generous for a busy machine
    const auto releases = service().calls(ServiceCall::Release);
    EXPECT_EQ(releases[0].channel, 1u);
    EXPECT_EQ(releases[1].channel, 2u);
    EXPECT_TRUE(waitUntil(
        "the multi-channel worker to give its channels back",
        [] { return testing::library().multiple.heldChannels() == 0; }, 2000));
    EXPECT_EQ(setCount(), 4u);
}

TEST_F(PlayerProtocolTest, StartsRefusedAndNothingChanged) {
    const auto good = rampFile(10);
    WavFormat wide{1, 100, 32};
    const auto thirtyTwo = folder_.write("32.wav", testing::wavBytes(wide, std::vector<std::uint8_t>(40, 0)));
    const auto noRate = folder_.write("rate0.wav", testing::wavBytes(WavFormat{1, 0, 16}, ramp16(10)));
    const std::string longName(200, 'a');
    const std::string absent = folder_.path() + "/absent.wav";

    EXPECT_EQ(SingleChanelPlayStart(longName.c_str(), 0, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(longName.c_str(), 0x1, 0), 0);
    EXPECT_EQ(testing::library().single.path()[0], '\0');  // the long name was not taken
    EXPECT_EQ(testing::library().multiple.path()[0], '\0');

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(SingleChanelPlayStart(good.c_str(), 8, 0), 0);  // beyond 8 outputs
    EXPECT_EQ(SingleChanelPlayStart(good.c_str(), 64, 0), 0);
    EXPECT_EQ(SingleChanelPlayStart(good.c_str(), 0xFFFFFFFFu, 0), 0);
    EXPECT_EQ(SingleChanelPlayStart(nullptr, 0, 0), 0);
    EXPECT_EQ(SingleChanelPlayStart(thirtyTwo.c_str(), 0, 0), 0);
    EXPECT_EQ(SingleChanelPlayStart(noRate.c_str(), 0, 0), 0);
    EXPECT_EQ(SingleChanelPlayStart(absent.c_str(), 0, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(good.c_str(), 0, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(good.c_str(), 0x1FF, 0), 0);  // bit 8 with 8 outputs
    EXPECT_EQ(MultipleChanelPlayStart(good.c_str(), 0x80000000u, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(nullptr, 0x1, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(thirtyTwo.c_str(), 0x3, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(absent.c_str(), 0x3, 0), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "file open failure!\nfile open failure!\n");
    EXPECT_EQ(testing::library().multiple.heldChannels(), 0u);
    EXPECT_EQ(service().calls().size(), 0u);

    engine().outputChannelCount = 0;  // engine not initialized: every start is refused
    EXPECT_EQ(SingleChanelPlayStart(good.c_str(), 0, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(good.c_str(), 0x1, 0), 0);
    engine().outputChannelCount = 8;

    // A refused file does not keep the mask: the same mask starts with a good one.
    EXPECT_EQ(SingleChanelPlayStart(good.c_str(), 7, 1), 1);
    EXPECT_EQ(MultipleChanelPlayStart(good.c_str(), 0x3, 1), 1);
    ASSERT_TRUE(waitUntil("both players in play", [] { return IsSingleInPlay() == 1 && IsMultipleInPlay() == 1; }));
    // In play: a second start is refused whatever its channel or mask.
    EXPECT_EQ(SingleChanelPlayStart(good.c_str(), 5, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(good.c_str(), 0x30, 0), 0);
    EXPECT_EQ(testing::library().multiple.heldChannels(), 0x3u);
    EXPECT_EQ(testing::library().single.channels(), ChannelMask{1} << 7);
}

TEST_F(PlayerProtocolTest, ANameOf199BytesFits) {
    std::string name = folder_.path() + "/";
    name += std::string(199 - name.size() - 4, 'n') + ".wav";
    ASSERT_EQ(name.size(), 199u);
    const auto path =
        folder_.write(name.substr(folder_.path().size() + 1), testing::wavBytes(WavFormat{1, 100, 16}, ramp16(10)));
    EXPECT_EQ(SingleChanelPlayStart(path.c_str(), 0, 0), 1);
    EXPECT_STREQ(testing::library().single.path(), path.c_str());
}

TEST_F(PlayerProtocolTest, AStartRightAfterAStopWaitsForTheOldWorkerAndKeepsItsState) {
    const auto path = rampFile(2000);
    ASSERT_EQ(MultipleChanelPlayStart(path.c_str(), 0x3, 1), 1);
    ASSERT_EQ(SingleChanelPlayStart(path.c_str(), 4, 1), 1);
    ASSERT_TRUE(waitUntil("both players in play", [] { return IsMultipleInPlay() == 1 && IsSingleInPlay() == 1; }));
    for (int round = 0; round < 3; ++round) {
        MultipleChanelPlayStop();
        SingleChanelPlayStop();
        ASSERT_EQ(MultipleChanelPlayStart(path.c_str(), 0x6, 1), 1) << round;
        ASSERT_EQ(SingleChanelPlayStart(path.c_str(), 5, 1), 1) << round;
        ASSERT_TRUE(waitUntil("both players in play", [] { return IsMultipleInPlay() == 1 && IsSingleInPlay() == 1; }));
        // Well past the old workers' final wait, the new players still hold their state.
        std::this_thread::sleep_for(std::chrono::milliseconds(3 * kTestFinalWaitMs));
        EXPECT_EQ(IsMultipleInPlay(), 1);
        EXPECT_EQ(IsSingleInPlay(), 1);
        EXPECT_EQ(testing::library().multiple.heldChannels(), 0x6u);
        EXPECT_EQ(testing::library().multiple.running(), 1);
    }
}

TEST_F(PlayerProtocolTest, VolumesAreTheirOwnAndOnlyFiniteNonNegativeOnesAreTaken) {
    const float refused[] = {-0.5f, std::nanf(""), std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity()};
    for (float v : refused) {
        EXPECT_EQ(SingleChanelSetVolume(v), 0) << v;
        EXPECT_EQ(MultipleChanelSetVolume(v), 0) << v;
    }
    EXPECT_EQ(testing::library().single.volume(), 1.0f);
    EXPECT_EQ(testing::library().multiple.volume(), 1.0f);
    EXPECT_EQ(SingleChanelSetVolume(0.5f), 1);
    EXPECT_EQ(SingleChanelSetVolume(-1.0f), 0);
    EXPECT_EQ(testing::library().single.volume(), 0.5f);

    // Both players at once on different channels; only the single one is halved.
    const auto path = folder_.write("v.wav", testing::wavBytes(WavFormat{1, 100, 16}, testing::pcm16({1000, -1000})));
    ASSERT_EQ(SingleChanelPlayStart(path.c_str(), 0, 0), 1);
    ASSERT_EQ(MultipleChanelPlayStart(path.c_str(), 0x6, 0), 1);
    ASSERT_TRUE(handedOver(3));
    for (const auto& c : service().calls(ServiceCall::Set)) {
        const std::vector<std::uint8_t> halved = {0, 0, 0xF4, 0x01, 0, 0, 0x0C, 0xFE};
        const std::vector<std::uint8_t> whole = {0, 0, 0xE8, 0x03, 0, 0, 0x18, 0xFC};
        EXPECT_EQ(c.bytes, c.channel == 0 ? halved : whole) << c.channel;
    }
}

TEST_F(PlayerProtocolTest, ARateTooLargeForABlockEndsTheWorkerCleanly) {
    const auto path = folder_.write("huge.wav", testing::wavBytes(WavFormat{1, 0x10000000, 16}, ramp16(10)));
    ASSERT_EQ(MultipleChanelPlayStart(path.c_str(), 0x3, 1), 1);
    ASSERT_TRUE(waitUntil("the multi-channel worker to give its channels back",
                          [] { return testing::library().multiple.heldChannels() == 0; }));
    EXPECT_EQ(IsMultipleInPlay(), 0);
    EXPECT_EQ(testing::library().multiple.running(), 0);
    EXPECT_EQ(service().calls().size(), 0u);
    // The player is idle again: a usable file starts.
    EXPECT_EQ(MultipleChanelPlayStart(rampFile(10).c_str(), 0x3, 0), 1);
}

TEST_F(PlayerProtocolTest, AFileThatCannotBeReopenedEndsThePlayingAsAfterTheLastPass) {
    const auto path = rampFile(500);  // three blocks a pass
    ASSERT_EQ(SingleChanelPlayStart(path.c_str(), 2, 1), 1);
    ASSERT_TRUE(handedOver(2));
    std::filesystem::remove(path);
    service().finishBlock(2);  // the last block comes from the stream already open
    ASSERT_TRUE(handedOver(3));
    ASSERT_TRUE(waitUntil("the single-channel player to end", [] { return IsSingleInPlay() == 0; }));
    EXPECT_EQ(setCount(), 3u);
    EXPECT_EQ(service().calls(ServiceCall::Release).size(), 0u);
}

TEST_F(PlayerProtocolTest, AFileShorterThanItsHeaderPlaysSilenceForTheRest) {
    const auto path = folder_.write("short.wav", testing::wavBytes(WavFormat{1, 100, 16}, ramp16(100), 400 * 2));
    ASSERT_EQ(SingleChanelPlayStart(path.c_str(), 1, 0), 1);
    ASSERT_TRUE(handedOver(2));
    const auto sets = service().calls(ServiceCall::Set);
    EXPECT_EQ(sets[0].bytes, rampOutput(0, 100, 100));
    EXPECT_EQ(sets[1].bytes, rampOutput(0, 0, 200));
}

TEST(StreamFormat, PassLengthsAndBlocks) {
    const struct {
        std::uint16_t channels, bits;
        std::uint32_t rate;
        std::uint64_t length;
        std::uint32_t sampleBytes;
        bool usable;
        std::uint64_t passFrames;
        std::uint32_t blockFrames;
    } cases[] = {
        {1, 16, 44100, 441000, 4, true, 220500, 88200},
        {2, 16, 44100, 4000, 4, true, 1000, 88200},
        {1, 8, 44100, 88200, 4, true, 88200, 88200},
        {1, 24, 44100, 132300, 4, true, 44100, 88200},
        {5, 24, 48000, 31, 4, true, 2, 96000},  // 15-byte frames; the partial one is dropped
        {0, 16, 8000, 7, 4, true, 3, 16000},    // no channels count as one
        {1, 8, 1000, 0xFFFFFFFFu, 4, true, 0xFFFFFFFFull, 2000},
        {2, 24, 48000, 6ull << 30, 4, true, (6ull << 30) / 6, 96000},  // an RF64 file's 64-bit size
        {1, 16, 268435455, 4, 4, true, 2, 536870910},
        {1, 16, 268435456, 4, 4, false, 0, 0},  // a block past a signed 32-bit count
        {1, 16, 268435456, 4, 2, true, 2, 536870912},
        {1, 16, 134217727, 4, 8, true, 2, 268435454},
        {1, 16, 134217728, 4, 8, false, 0, 0},
        {1, 16, 1000, 4, 0, false, 0, 0},  // no output type
        {1, 16, 0, 4, 4, false, 0, 0},
        {1, 32, 1000, 4, 4, false, 0, 0},
        {1, 12, 1000, 4, 4, false, 0, 0},
    };
    for (const auto& c : cases) {
        WavHeader h;
        h.channels = c.channels;
        h.bit_samp = c.bits;
        h.samp_freq = c.rate;
        h.dataBytes = c.length;
        StreamFormat f{};
        ASSERT_EQ(streamFormatOf(h, c.sampleBytes, f), c.usable)
            << c.channels << "x" << c.bits << " at " << c.rate << " into " << c.sampleBytes << " bytes";
        if (!c.usable) continue;
        EXPECT_EQ(f.passFrames, c.passFrames);
        EXPECT_EQ(f.blockFrames, c.blockFrames);
    }
}

}  // namespace
}  // namespace asiochan
