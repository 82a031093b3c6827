// The storm in the host build (see tests/hardening/call_storm.h): four threads of
// random channel calls, one of Finish/Prepare cycles with changing sample types,
// the simulated driver running free. No call may crash, touch memory it must not
// (ASan, TSan) or block; afterwards a block plays byte for byte and a capture
// completes. ASIOCHAN_STORM_SECONDS sizes it, ASIOCHAN_STORM_SEED repeats one.
#include <cstdio>
#include <memory>
#include <thread>

#include "asiochan.h"
#include "fileplay/wav_files.h"
#include "hardening/call_storm.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace hardening;

// The exports as the storm calls them.
struct HostApi {
#define ASIOCHAN_EXPORT(ret, name, params) decltype(&::name) name = &::name;
#include "wine/dll_export_list.h"
#undef ASIOCHAN_EXPORT
};

constexpr AsioLong kFrames = 32;

class CallStormTest : public testing::StreamTest {};

TEST_F(CallStormTest, ChannelCallsFromFourThreadsWhileTheRunIsFinishedAndPreparedAgain) {
    const std::uint32_t seed = stormSeed("host storm");
    testing::setPlayerTiming(2, 20);
    testing::TempFolder folder;
    CarelessFiles files;
    files.playable = folder.write("ok.wav", testing::wavBytes({1, 8000, 16}, testing::pcm16({1, 2, 3, 4, 5, 6, 7, 8})));
    files.name199 = std::string(199, 'n');
    files.name200 = std::string(200, 'n');
    files.name4096 = std::string(4096, 'n');
    files.missing = folder.path() + "/no such file.wav";
    files.directory = folder.path();

    sim::SimConfig config = smallDriver(8, 8, kFrames);
    config.keepCallLog = false;
    sim::ClockOptions freeRunning;
    freeRunning.freeRunning = true;
    freeRunning.periodMicros = 50;
    freeRunning.recordOutputs = false;
    sim::SimDriver& d = prepareRun(config, freeRunning);

    HostApi api;
    StormShared shared;
    shared.files = &files;
    shared.yield = &platform::yieldThread;
    std::vector<std::unique_ptr<StormThread<HostApi>>> stormers;
    std::vector<CallWatch*> watches;
    for (int i = 0; i < kStormThreads; ++i) {
        stormers.push_back(std::make_unique<StormThread<HostApi>>(api, shared, seed + static_cast<std::uint32_t>(i)));
        watches.push_back(&stormers.back()->watch);
    }
    CallWatch lifecycleWatch;
    watches.push_back(&lifecycleWatch);
    std::uint64_t rounds = 0;
    std::thread lifecycle([&] {
        std::mt19937 random(seed + kStormThreads);
        auto setTypes = [&d](std::int32_t type) {
            d.config().inputType = type;
            d.config().outputType = type;
        };
        while (!shared.stop.load()) {
            stormLifecycleRound(api, random, lifecycleWatch, setTypes, &platform::sleepMs);
            ++rounds;
        }
    });
    std::vector<std::thread> threads;
    for (auto& s : stormers) threads.emplace_back([&s] { s->run(); });

    // The players' thousands of "file open failure!" lines are not kept.
    ::testing::internal::CaptureStdout();
    std::string report;
    const bool clean = stormWatch(shared, watches, stormSeconds(3.0), &platform::sleepMs, report);
    if (!clean) {
        // A blocked thread cannot be joined; say which call it was and end here.
        std::fprintf(stderr, "host storm (seed %u): %s\n", seed, report.c_str());
        std::abort();
    }
    lifecycle.join();
    for (auto& t : threads) t.join();
    ::testing::internal::GetCapturedStdout();
    std::printf("host storm: %llu Finish/Prepare rounds, %s\n", static_cast<unsigned long long>(rounds),
                stormSummary(watches).c_str());

    // Afterwards: the players stopped, a run of 32-bit samples with a stepped
    // clock; a block plays byte for byte and a capture completes with the input.
    SingleChanelPlayStop();
    MultipleChanelPlayStop();
    // A stop while capture runs frees all 64 channels, after the dumps still
    // pending: nothing refers to the storm's buffers any more.
    StartCapture();
    StopCapture();
    ASSERT_TRUE(testing::library().single.retire());
    ASSERT_TRUE(testing::library().multiple.retire());
    ASSERT_EQ(Finish(), ASE_OK);
    d.config().inputType = ASIOSTInt32LSB;
    d.config().outputType = ASIOSTInt32LSB;
    d.clock().options() = sim::ClockOptions{};
    ASSERT_EQ(Prepare(), ASE_OK);
    const Bytes block = testing::ramp(4 * kFrames * 4, 3);
    Bytes captured(3 * kFrames * 4, 0xee);
    ASSERT_EQ(SetPlayBuffer(block.data(), static_cast<std::int32_t>(block.size()), 2), ASE_OK);
    ASSERT_EQ(SetCaptureBuffer(captured.data(), static_cast<std::int32_t>(captured.size()), 5), ASE_OK);
    StartPlayback();
    StartCapture();
    step(4);
    EXPECT_EQ(played(2), block);
    ASSERT_TRUE(captureDone(5));
    Bytes expected(captured.size());
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = sim::inputPatternByte(5, i);
    EXPECT_EQ(captured, expected);
}

}  // namespace
}  // namespace asiochan
