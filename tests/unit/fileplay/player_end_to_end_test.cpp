// The players against the engine and the simulated driver, whose clock the test
// steps: what reaches the driver's output buffers, block joins and loop passes
// included.
#include <gtest/gtest.h>

#include <algorithm>

#include "asiochan.h"
#include "fileplay/fake_playback_service.h"
#include "fileplay/file_player.h"
#include "fileplay/sample_conversion.h"
#include "fileplay/sample_layout.h"
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
    static ::testing::AssertionResult queued(std::uint32_t channel) {
        return waitUntil("a block queued behind the playing one on output " + std::to_string(channel),
                         [channel] { return IsCanSendNextPlaybackBuffer(channel) == 0; });
    }

    testing::TempFolder folder_;
};

TEST_F(PlayerEndToEndTest, SingleChannelSamplesReachTheDriverBlockAfterBlock) {
    const auto values = series(450, -200, 3);  // blocks of 200, 200 and 50 samples
    ASSERT_EQ(SingleChanelPlayStart(file("a.wav", values).c_str(), 1, 0), 1);
    ASSERT_TRUE(queued(1));
    step(4);  // the first block has played; the worker queues the third
    ASSERT_TRUE(queued(1));
    step(6);
    EXPECT_EQ(played(1), joined(output(values), silence(50)));
    EXPECT_EQ(played(0), silence(500));
    EXPECT_EQ(played(2), silence(500));
    EXPECT_TRUE(waitUntil("the single-channel player to end", [] { return IsSingleInPlay() == 0; }));
}

TEST_F(PlayerEndToEndTest, LoopPassesFollowWithoutAGap) {
    const auto values = series(150, 1);  // one block of three periods a pass
    ASSERT_EQ(SingleChanelPlayStart(file("loop.wav", values).c_str(), 3, 1), 1);
    std::vector<std::uint8_t> expected;
    for (int pass = 0; pass < 5; ++pass) {
        ASSERT_TRUE(queued(3));  // the next pass waits behind the one about to play
        step(3);
        expected = joined(expected, output(values));
    }
    EXPECT_EQ(played(3), expected);
}

TEST_F(PlayerEndToEndTest, StopSilencesTheChannelAtTheNextPeriod) {
    ASSERT_EQ(MultipleChanelPlayStart(file("s.wav", series(1000, 5)).c_str(), 0x6, 1), 1);
    ASSERT_TRUE(queued(1));
    ASSERT_TRUE(queued(2));
    step(2);
    MultipleChanelPlayStop();
    ASSERT_TRUE(waitUntil("outputs 1 and 2 to stop",
                          [] { return IsPortPlaybackRunning(1) == 0 && IsPortPlaybackRunning(2) == 0; }));
    ASSERT_TRUE(waitUntil("the multi-channel worker to give its channels back",
                          [] { return testing::library().multiple.heldChannels() == 0; }));
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
    ASSERT_TRUE(waitUntil("outputs 3 and 1 playing",
                          [] { return IsPortPlaybackRunning(3) == 1 && IsPortPlaybackRunning(1) == 1; }));
    step(5);
    EXPECT_EQ(played(3), joined(output(a), silence(50)));
    std::vector<std::int16_t> halved;
    for (std::int16_t v : b) halved.push_back(static_cast<std::int16_t>(v / 2));  // truncated toward zero
    EXPECT_EQ(played(0), joined(output(halved), silence(50)));
    EXPECT_EQ(played(1), played(0));
    EXPECT_EQ(played(2), silence(250));
}

// Each output channel gets the file's samples in its own sample type, across block
// joins and loop passes, whichever player plays them; started mapped, the i-th
// channel of the set gets the file's channel i (a mono file's on every one).
struct TypedRun {
    std::vector<ASIOSampleType> types;  // of outputs 0, 1, ...
    ChannelMask channels;               // played: one channel by the single-channel player
    bool mapped = false;                // by MultipleChanelPlayStartMapped
    std::uint16_t fileChannels = 1;
    std::uint16_t bits = 16;
};

class PlayerSampleTypeTest : public PlayerEndToEndTest, public ::testing::WithParamInterface<TypedRun> {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        testing::setPlayerTiming(2, 20);
        sim::SimConfig config = smallDriver(static_cast<AsioLong>(GetParam().types.size()), 0, kFrames);
        config.outputTypes = GetParam().types;
        prepareRun(config);
    }
};

TEST_P(PlayerSampleTypeTest, EveryChannelPlaysItsOwnLayout) {
    const TypedRun& run = GetParam();
    // Blocks of 200 and 30 frames: the joins fall inside periods. File channel k
    // plays the series from its frame 41 k on; 24-bit samples have a low byte of k + 1.
    const auto series16 = joined(series(225, -30000, 266), {32767, -32768, 1, -1, 0});
    const std::size_t fileFrames = series16.size(), width = run.bits / 8u;
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < fileFrames; ++i) {
        for (std::uint32_t k = 0; k < run.fileChannels; ++k) {
            const std::int32_t v = series16[(i + 41 * k) % fileFrames];
            if (run.bits == 8) data.push_back(static_cast<std::uint8_t>((v >> 8) + 128));
            if (run.bits == 16) testing::putLe(data, static_cast<std::uint32_t>(v), 2);
            if (run.bits == 24) testing::putLe(data, static_cast<std::uint32_t>(v * 256 + 1 + static_cast<int>(k)), 3);
        }
    }
    const auto path = folder_.write("typed.wav", testing::wavBytes({run.fileChannels, kFileRate, run.bits}, data));
    const bool single = (run.channels & (run.channels - 1)) == 0;
    std::vector<std::uint32_t> fed;
    for (std::uint32_t c = 0; c < run.types.size(); ++c)
        if (hasChannel(run.channels, c)) fed.push_back(c);
    const auto mask = static_cast<std::uint32_t>(run.channels);
    ASSERT_EQ(run.mapped   ? MultipleChanelPlayStartMapped(path.c_str(), mask, 1)
              : single     ? SingleChanelPlayStart(path.c_str(), fed[0], 1)
                           : MultipleChanelPlayStart(path.c_str(), mask, 1),
              1);
    for (int period = 0; period < 10; ++period) {
        for (std::uint32_t c : fed) ASSERT_TRUE(queued(c)) << "period " << period;
        step(1);
    }
    // Ten periods: two passes of 230 frames and 40 frames of the third, without a gap.
    for (std::uint32_t c = 0; c < run.types.size(); ++c) {
        const auto rank = static_cast<std::uint32_t>(std::find(fed.begin(), fed.end(), c) - fed.begin());
        const std::uint32_t k = run.mapped && run.fileChannels > 1 ? rank : 0;
        std::vector<SampleValue> expected;
        for (std::size_t i = 0; i < 10 * kFrames; ++i) {
            const std::uint8_t* sample = &data[((i % fileFrames) * run.fileChannels + k) * width];
            expected.push_back(scaledSampleValue(fileSampleValue(sample, width), 1.0f, width));
        }
        const std::uint32_t typeWidth = sampleLayoutWidth(run.types[c]);
        std::vector<std::uint8_t> bytes(expected.size() * typeWidth, 0);
        if (hasChannel(run.channels, c)) layOutSamples(run.types[c], expected.data(), expected.size(), bytes.data());
        EXPECT_EQ(played(static_cast<int>(c)), bytes) << "output " << c << " of type " << run.types[c];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, PlayerSampleTypeTest,
    ::testing::Values(TypedRun{{ASIOSTFloat32LSB, ASIOSTFloat32LSB}, 0x3},
                      TypedRun{{ASIOSTInt24LSB, ASIOSTInt24LSB}, 0x2},
                      TypedRun{{ASIOSTInt16MSB, ASIOSTInt16MSB, ASIOSTInt16MSB}, 0x5},
                      TypedRun{{ASIOSTInt32LSB24, ASIOSTFloat32LSB, ASIOSTInt32LSB, ASIOSTInt32LSB24}, 0xF},
                      // Mapped: a stereo file on outputs 0 and 2, in two types and widths.
                      TypedRun{{ASIOSTInt32LSB, ASIOSTInt32LSB, ASIOSTInt32LSB}, 0x5, true, 2, 24},
                      TypedRun{{ASIOSTFloat32LSB, ASIOSTFloat32LSB, ASIOSTFloat32LSB}, 0x5, true, 2, 16},
                      // Four 8-bit channels on three outputs, two of one type: the fourth is not played.
                      TypedRun{{ASIOSTInt32LSB24, ASIOSTInt32LSB24, ASIOSTFloat32LSB, ASIOSTInt32LSB24}, 0xB, true, 4, 8},
                      // A mono file plays on every channel.
                      TypedRun{{ASIOSTInt16MSB, ASIOSTInt16MSB, ASIOSTInt16MSB}, 0x6, true, 1, 16}));

TEST_F(PlayerEndToEndTest, AMappedStartRefusesWhatItCannotPlay) {
    const auto stereo = folder_.write("stereo.wav", testing::wavBytes({2, kFileRate, 16}, pcm(series(400, 1))));
    const std::string missing = folder_.path() + "/missing.wav";
    const struct {
        const char* what;
        const char* path;
        std::uint32_t mask;
    } refused[] = {{"fewer file channels than bits", stereo.c_str(), 0x7},
                   {"an empty mask", stereo.c_str(), 0},
                   {"a mask beyond the outputs", stereo.c_str(), 0x11},
                   {"a missing file", missing.c_str(), 0x3},
                   {"no file name", nullptr, 0x3}};
    for (const auto& r : refused) {
        EXPECT_EQ(MultipleChanelPlayStartMapped(r.path, r.mask, 0), 0) << r.what;
        EXPECT_EQ(testing::library().multiple.heldChannels(), 0u) << r.what;
        EXPECT_EQ(IsMultipleInPlay(), 0) << r.what;
    }
    // The player was left as it was: a start that fits plays.
    EXPECT_EQ(MultipleChanelPlayStartMapped(stereo.c_str(), 0x3, 0), 1);
    EXPECT_EQ(MultipleChanelPlayStartMapped(stereo.c_str(), 0xC, 0), 0);  // one at a time
}

TEST_F(PlayerEndToEndTest, AStartOntoAChannelThePeriodsDoNotFeedChangesNothing) {
    struct Row {
        std::vector<ASIOSampleType> types;  // of outputs 0, 1, ...
        std::vector<std::uint32_t> refused;
        ChannelMask fed;  // the channels the periods feed
    };
    const Row rows[] = {
        // Every output DSD: the outputs have no sample width at all.
        {{ASIOSTDSDInt8LSB1, ASIOSTDSDInt8MSB1}, {0, 1}, 0},
        // Int32LSB, a DSD type, a 2-byte type among 4-byte ones (skipped by the
        // periods), an unassigned code, Float32LSB.
        {{ASIOSTInt32LSB, ASIOSTDSDInt8LSB1, ASIOSTInt16LSB, 99, ASIOSTFloat32LSB}, {1, 2, 3}, 0x11},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.types.size());
        sim::SimConfig config = smallDriver(static_cast<AsioLong>(row.types.size()), 0, kFrames);
        config.outputTypes = row.types;
        Finish();
        prepareRun(config);
        const auto path = file("refused.wav", series(300, 1));
        for (std::uint32_t channel : row.refused) {
            EXPECT_EQ(SingleChanelPlayStart(path.c_str(), channel, 0), 0) << channel;
            EXPECT_EQ(MultipleChanelPlayStart(path.c_str(), static_cast<std::uint32_t>(row.fed) | (1u << channel), 0),
                      0)
                << channel;
            for (const FilePlayer* p : {&testing::library().single, &testing::library().multiple}) {
                EXPECT_EQ(p->inPlay(), 0);
                EXPECT_EQ(p->running(), 0);
                EXPECT_EQ(p->heldChannels(), 0u);
                EXPECT_STREQ(p->path(), "");
            }
        }
        // The fed channels alone do start (last: the player is then in play).
        if (row.fed != 0) {
            EXPECT_EQ(MultipleChanelPlayStart(path.c_str(), static_cast<std::uint32_t>(row.fed), 0), 1);
        }
    }
}

}  // namespace
}  // namespace asiochan
